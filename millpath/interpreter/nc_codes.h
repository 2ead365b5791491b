// Result codes, message numbers and states of the NC interpreter.
#pragma once

#include <cstdint>

// NC error codes raised towards the kernel.
namespace NcError
{
constexpr std::uint32_t None = 0;
constexpr std::uint32_t StopRefused = 0x4107;
constexpr std::uint32_t Syntax = 0x4111;      // translator: malformed text
constexpr std::uint32_t WordOrRange = 0x4112; // unknown word, range error, limits, geometry entry
constexpr std::uint32_t LabelNotFound = 0x4113;
constexpr std::uint32_t TextBufferFull = 0x4114;
constexpr std::uint32_t DivisionByZero = 0x4120;
constexpr std::uint32_t BlockGeometry = 0x4121; // circle and helix centres
constexpr std::uint32_t ArithmeticDomain = 0x4122;
constexpr std::uint32_t ReturnWithoutCall = 0x4131;
constexpr std::uint32_t StackEmpty = 0x4133;
constexpr std::uint32_t ParameterIndex = 0x4140;
constexpr std::uint32_t GFunction = 0x4141;
constexpr std::uint32_t MDefinition = 0x4142;
constexpr std::uint32_t AddressIndex = 0x4143;
constexpr std::uint32_t HFunction = 0x4144;
constexpr std::uint32_t MachineDataBit = 0x4145;
constexpr std::uint32_t SymbolNameLength = 0x4115; // translator: a symbol name of the wrong length
constexpr std::uint32_t SymbolUnknown = 0x4116;
constexpr std::uint32_t TableRecord = 0x4162; // a lookup-table record that does not exist
constexpr std::uint32_t CycleParameter = 0x4170;
constexpr std::uint32_t RestrictedM = 0x4173; // an M word while the restricted mode is set
} // namespace NcError

// Numbered log messages (category NcMsg::Category unless noted).
namespace NcMsg
{
constexpr std::uint32_t Category = 0x54;
constexpr std::uint32_t TraceCategory = 0x41;

constexpr std::uint32_t Limits = 0xC00;
constexpr std::uint32_t UnknownWord = 0xC01;
constexpr std::uint32_t DivisionByZero = 0xC02;
constexpr std::uint32_t ParameterIndex = 0xC03;
constexpr std::uint32_t IndirectIndex = 0xC04;
constexpr std::uint32_t UnknownG = 0xC05;
constexpr std::uint32_t MDefinition = 0xC06;
constexpr std::uint32_t GroupIndex = 0xC07;
constexpr std::uint32_t GotoNotFound = 0xC0B;
constexpr std::uint32_t QIndex = 0xC0C;
constexpr std::uint32_t StackEmpty = 0xC30;
constexpr std::uint32_t StackFull = 0xC31;
constexpr std::uint32_t ReturnWithoutCall = 0xC32;
constexpr std::uint32_t Geometry = 0xC58;
constexpr std::uint32_t SqrtDomain = 0xC5D;
constexpr std::uint32_t TanDomain = 0xC5E;
constexpr std::uint32_t CotDomain = 0xC5F;
constexpr std::uint32_t ArcDomain = 0xC60;
constexpr std::uint32_t FeedZero = 0xC63;
constexpr std::uint32_t MFuncRange = 0xC64;
constexpr std::uint32_t RepeatLabelNotFound = 0xC65;
constexpr std::uint32_t RepeatNoSearch = 0xC66;
constexpr std::uint32_t FeedBelowMinimum = 0xC72;
constexpr std::uint32_t PrepareGroupFailed = 0xC73;
constexpr std::uint32_t GRestriction = 0xC78;
constexpr std::uint32_t GCapability = 0xC79;
constexpr std::uint32_t StopExclusive = 0xC7D;
constexpr std::uint32_t PosaFailed = 0; // a text of its own, without a number

constexpr std::uint32_t MachineDataBitIndex = 0xC09;
constexpr std::uint32_t MachineDataWord = 0xC0A;
constexpr std::uint32_t RangeKeyword = 3110; // "dynovr", "SF" and "ANG" constants out of range
constexpr std::uint32_t KernelTranslation = 0xC76;
constexpr std::uint32_t RestrictedM = 3258;
constexpr std::uint32_t DisplayTextCategory = 145;

constexpr std::uint32_t ProgramName = 0x402; // TraceCategory
constexpr std::uint32_t TextBufferFull = 0x403;
constexpr std::uint32_t SubProgramMissing = 0x405;
constexpr std::uint32_t TraceWord = 0x600; // TraceCategory
constexpr std::uint32_t TraceLine = 0x601; // TraceCategory
} // namespace NcMsg

// Vos result codes the interpreter answers to its channel.
namespace NcResult
{
constexpr std::uint32_t Ok = 0;
constexpr std::uint32_t BadToolNumber = 0x703;
constexpr std::uint32_t OutOfRange = 0x706;
constexpr std::uint32_t NotReady = 0x707;
constexpr std::uint32_t NotAllowed = 0x708;
constexpr std::uint32_t BadValue = 0x70B;
} // namespace NcResult
