// What an interpreter needs of its channel. The channel implements it; the
// interpreter holds a reference and never owns the channel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

class CEntry;
class CProgramTextStore;

// One numbered log message: category, number, the format of its arguments
// (e.g. "%d%d%f") and the arguments rendered as text, channel and line first.
struct NcLogMessage
{
    std::uint32_t category = 0;
    std::uint32_t number = 0;
    std::string format;
    std::vector<std::string> args;
};

// Result of the channel's add-entry operation.
namespace AddEntry
{
constexpr int Taken = 1;  // ownership passed to the channel
constexpr int NotNow = 2; // any value other than 1 and <= 0: try again later
} // namespace AddEntry

class IInterpreterChannel
{
public:
    virtual ~IInterpreterChannel() = default;

    virtual int channelNumber() const = 0;
    virtual void reportLog(const NcLogMessage& message) = 0;

    // 1 taken; 0 or less failed; another value: not taken now. The caller
    // deletes every entry that was not taken.
    virtual int addEntry(CEntry* entry) = 0;
    // Free places of the channel's group (49 less the entries it holds);
    // negative when the channel feeds no group.
    virtual int groupFreePlaces() = 0;
    virtual bool hasGroup() = 0;
    // Whether the group still runs a motion that "wait_idle" waits for.
    virtual bool groupHasUnfinishedMotion() = 0;
    // Capabilities of the group for G33, G96/G97, G331/G332 and G931.
    virtual bool groupHasCapability(int gNumber) = 0;
    virtual bool groupExclusiveMode() = 0;
    // 0 when the group is prepared, else the channel's error code.
    virtual std::uint32_t prepareGroup() = 0;
    virtual bool programLogOn() = 0;
    virtual std::string programName() = 0;

    // Software limits of path axis 0..2; false when the axis has none.
    virtual bool axisLimits(int axis, double& minimum, double& maximum) = 0;
    virtual double minimumFeed() = 0;

    virtual bool displayText(std::int32_t lineIndex, std::string& text) = 0;
    virtual bool pathAxesPositions(double positions[3]) = 0;
    virtual std::uint32_t inputWord() = 0;
    // Finds a label that is not in the label table yet: 1 found (position
    // set), 0 not found, -1 the channel could not search.
    virtual int findLabel(const std::string& name, std::int32_t& position) = 0;
    virtual void rotationExtension(bool on) = 0;

    // The channel's program text store, where the interpreter registers
    // every source line it reads (line indexes are positions in it).
    virtual CProgramTextStore& textStore() = 0;
    // A program or sub-program file whose lines are registered next, so that
    // the channel can tell which file a stretch of the store came from.
    virtual void programFileOpened(const std::string& path) = 0;

    // Kernel requests of the translator; each returns 0 or the Vos error,
    // and nothing arrives on an error.
    // The channel's state for "h0": a read-write of ChannelStateSize bytes
    // with index group ChannelStateGroup at the channel's kernel address.
    static constexpr std::size_t ChannelStateSize = 112;
    static constexpr std::uint32_t ChannelStateGroup = 0x4016;
    virtual std::uint32_t readChannelState(std::uint8_t (&state)[ChannelStateSize]) = 0;
    // Whether the channel has a second kernel address, which pre-processes
    // the blocks of its programs.
    virtual bool hasSecondKernelAddress() = 0;
    // Sends the block with its terminator to the second kernel address and
    // reads back up to PreprocessAnswerSize bytes of translated lines.
    static constexpr std::size_t PreprocessAnswerSize = 510;
    virtual std::uint32_t preprocessBlock(const std::string& block, std::string& answer) = 0;
};
