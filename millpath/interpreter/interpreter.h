// The part-program interpreter: holds the program in stack-language form,
// executes it block by block, keeps the modal state of the NC block and turns
// every completed block into NC entries for its channel.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "block_state.h"
#include "builtin_macros.h"
#include "call_stack.h"
#include "entry.h"
#include "interpreter_channel.h"
#include "interpreter_state.h"
#include "ipol_rule_tracer.h"
#include "label_table.h"
#include "nc_codes.h"
#include "nc_log.h"
#include "operand_stack.h"
#include "program_text_store.h"
#include "symbols.h"
#include "text_buffer.h"
#include "tool_table.h"

// Outcome of one emitter of the block flush.
enum class Emit
{
    Done,   // sent, or nothing was pending
    NotNow, // the channel has no room now; the pending flag stays set
    Failed, // the channel refused the entry; the block stops with an error
};

class CInterpreter
{
public:
    static constexpr int OperandStackSize = 50;
    static constexpr int CallStackSize = 20;
    static constexpr int LocalRParams = 900;
    static constexpr int RParams = 1000;
    static constexpr int GParams = 30;
    static constexpr int MDefCount = 160;
    static constexpr int MDefCancels = 10;
    static constexpr int FunctionCodes = 33;
    static constexpr int TraceLineLimit = 40;
    static constexpr int JumpLinesPerStep = 10;
    static constexpr int ZeroPointAxes = 8;
    static constexpr int ZeroPointNumbers = 10;
    static constexpr int MTableSlotSize = 41;
    static constexpr std::size_t MTableRecordSize = 232;
    static constexpr std::size_t ToolRecordSize = 120;
    static constexpr std::size_t SourceLineLimit = 510; // longest block the kernel pre-processes

    CInterpreter(IInterpreterChannel& channel, std::size_t textSize, unsigned labelCapacity);
    virtual ~CInterpreter();
    CInterpreter(const CInterpreter&) = delete;
    CInterpreter& operator=(const CInterpreter&) = delete;

    // Dialect: the preparation pass before the program runs (labels).
    virtual void prepareProgramText();

    // Operations the executor and the channel reach; dialects may override.
    virtual void setState(InterpreterState state);
    virtual InterpreterState getState() const;
    virtual void raiseNcError(std::uint32_t code);
    virtual std::uint32_t setTraceMode(int mode);
    virtual void markErrorLine();
    virtual bool selectToolCorrection(int number);
    virtual bool startProgram();
    virtual bool executeG(int group, int number);
    virtual bool applyMDefinition(int group, int number);
    virtual bool executeM(int group, int number);
    virtual bool executeH(int group, int number);
    virtual bool waitAndFlush(bool stopRequested);
    virtual bool writeMdBit(int word, int bit, int value) = 0;
    virtual bool readMdBit(int word, int bit, int& value) = 0;
    virtual bool loadMDefinitions(const std::string& projectDir);
    virtual bool setBit(std::uint8_t* bits, int byteCount, int bit);

    // Program text. Accepted in states 1, 2, 12 and 13; the state becomes 2.
    bool loadProgramText(const std::string& text);
    // Labels registered by the translator; the preparation pass registers the
    // "L<n>" words found at line starts. Fails for a label that is already
    // defined or when the table is full.
    bool defineLabel(const std::string& name, std::int32_t position);

    // Programs from part-program source (interpreter_program.cpp). A load is
    // accepted in the states of loadProgramText (else NcResult::NotAllowed);
    // its result is 0 or the error that stopped it, and the interpreter then
    // stands in the error state with the failing line marked. Every source
    // line is registered with the channel's text store, translated and
    // appended to the program text; labels that the text does not define are
    // loaded from their sub-program files after the whole text.
    std::uint32_t loadProgramFile(const std::string& path);
    std::uint32_t loadProgramSource(const std::string& text);
    // The steps of a load, for a channel that translates several files into
    // one program (definitions ahead of the program).
    std::uint32_t beginProgram();
    std::uint32_t appendProgramFile(const std::string& path);
    std::uint32_t appendProgramSource(const std::string& text);
    std::uint32_t finishProgram();
    // One block through the translator: directly, or through the kernel's
    // block pre-processing when the channel has a second kernel address. The
    // message of a refused cycle parameter goes to message.
    std::uint32_t translateBlock(const std::string& block, std::string* message = nullptr);
    // Sub-program files "<dir>/<name>.nc": the sub-program directory first
    // when one is set, else the project directory first; the file's text is
    // appended after the program. 0 or the error (NcError::LabelNotFound when
    // neither directory has it).
    void setProjectDirectory(const std::string& dir) { m_projectDir = dir; }
    void setSubProgramDirectory(const std::string& dir) { m_subProgramDir = dir; }
    const std::string& projectDirectory() const { return m_projectDir; }
    std::uint32_t openSubProgram(const std::string& name);
    // The label search a channel offers the executor: a label that is not
    // known yet is loaded from its file. 1 found, 0 not found.
    int findSubProgramLabel(const std::string& name, std::int32_t& position);

    // What the block translator uses of its interpreter.
    IInterpreterChannel& channel() { return m_channel; }
    // False (message 0x403 logged) when the program text is full.
    bool appendProgramText(const char* text, std::size_t length);
    std::size_t programTextLength() const { return m_textLength; }
    const char* programText() const { return m_text.mainText(); }
    // 0 registered, NcError::Syntax when already defined, NcError::LabelNotFound
    // when the table is full.
    std::uint32_t registerLabel(const std::string& name, std::int32_t position);
    bool referenceLabel(const std::string& name);
    // The dialect's own words of the translator (the second dialect's "MSG(").
    virtual bool secondDialect() const { return false; }
    // Restricted mode refuses M words, G58 and G59 and requires a G word to
    // end its block; no command of the program sets it.
    bool restrictedMode() const { return m_restrictedMode; }
    void setRestrictedMode(bool on) { m_restrictedMode = on; }
    bool edgeRadiusValidation() const { return m_edgeRadiusValidation; }
    void setEdgeRadiusValidation(bool on) { m_edgeRadiusValidation = on; }
    // The block number of the last "N" the translator read.
    std::int32_t translatedBlockNumber() const { return m_translatedBlockNo; }
    void setTranslatedBlockNumber(std::int32_t number) { m_translatedBlockNo = number; }
    const std::string& translationMessage() const { return m_translationMessage; }
    void setTranslationMessage(const std::string& text) { m_translationMessage = text; }
    // Logs through the channel (category, number, format, arguments).
    void report(std::uint32_t category, std::uint32_t number, const char* format, std::vector<NcLogArg> args)
    {
        log(category, number, format, std::move(args));
    }

    // Symbols.
    CSymbolTable& symbols() { return m_symbols; }
    void createTextSymbol(const std::u16string& name, const std::string& text);
    virtual void createAxisSymbol(const std::u16string& name, const AxisDescription& description);
    CIpolRuleTracer& ruleTracer() { return m_ruleTracer; }

    // Data access for the channel and the service port (interpreter_data.cpp).
    // Results are 0 or a Vos result code (NcResult) or NC error code.
    // A kernel parameter read the interpreter waits for: its answer (kind 2,
    // code 0x80000002) is stored into R<rIndex>.
    void expectKernelRead(int kind, int rIndex);
    bool kernelReadPending() const { return m_kernelRead.pending; }
    void storeKernelAnswer(std::uint32_t answerCode, double value);
    // M table: records of MTableRecordSize bytes (slot 32-bit at 0, two flag
    // fields 32-bit at 4 and 8, ten M numbers 32-bit at 12); slots out as
    // MTableSlotSize bytes (the flag byte and the ten numbers).
    std::uint32_t setMTable(const std::uint8_t* records, std::size_t byteLength);
    std::uint32_t getMTable(int first, int count, std::uint8_t* buffer) const;
    double getToolValue(int tool, int dataIndex) const;
    int setToolValue(int tool, int dataIndex, double value);
    std::uint16_t getToolType(int tool) const;
    std::uint16_t getToolSecondValue(int tool) const;
    int setToolType(int tool, std::uint32_t value);
    int setToolSecondValue(int tool, std::uint32_t value);
    // ToolRecordSize bytes: the two values as 32-bit words, then the 14 doubles.
    void getToolRecord(int tool, std::uint8_t* buffer) const;
    std::uint32_t setToolRecord(int tool, std::uint32_t type, std::uint32_t second, const double* data);
    // Lookup tables 1 and 2 have records of 80 bytes, table 3 of 32.
    std::uint32_t getTableRecord(int table, std::uint32_t number, void* buffer, std::size_t& size) const;
    double getZeroPointValue(int table, int index, int component) const;
    void setZeroPointValue(int table, int index, int component, double value);
    // Reads the zero points and the tools of the interpreter's table number
    // from "<dir>/<n>.NP" and "<dir>/<n>.WZ"; false when a file is missing.
    bool loadTableFiles(const std::string& dir);
    std::uint32_t getLineText(std::int32_t lineIndex, char* buffer, std::size_t& size) const;
    void getDisplayText(char* buffer, std::size_t& size, std::int32_t lineIndex);
    void getCurrentDisplayText(char* buffer, std::size_t& size);
    int setFeedModeCharacter(char c);
    char feedModeCharacter() const { return m_feedModeChar; }
    void setError(std::uint32_t code) { raiseNcError(code); }
    // An error of the path preparation: the error line (the entry's line
    // index, -2 for none), the NC error and state 11.
    void pathError(std::int32_t errorLine, std::uint32_t code);

    // One execution step of the channel's worker (see interpreter_state.h);
    // returns the time the worker may wait before the next step.
    int step();
    // Executes one line from the cursor (the dispatcher) and its block end.
    void execute();
    // Executes from the start to the end of the text.
    void runWholeText();

    // Requests from the channel's other threads.
    void requestReset() { m_resetRequested = true; }
    void requestStop() { m_stopOverride = true; }
    void releaseWait() { m_waitReleased = true; }
    // Pending outputs the channel asks for; they go out with the next flush
    // in their place of the fixed order.
    void requestSpindleTest();
    void requestMClear();
    // The next stop goes to the kernel as target-position monitoring (a
    // function entry) instead of a plain stop; cleared once that is sent.
    void setAlternativeStop(bool on) { m_alternativeStop = on; }
    // Back to idle: program kept, block state, stacks and flags cleared.
    void reset();
    // Reset that also tells the kernel to clear every M function (an M entry
    // of kind "Clear" with a zero header); false when the channel did not take it.
    bool resetAndSend();
    // Block search: kind 1 by source line index, 2 by block counter. An "L"
    // word at the target ends the search; the restart line is kept.
    void setBlockSearch(int kind, std::int64_t target);
    bool blockSearchActive() const { return m_searchActive; }
    std::int32_t restartLine() const { return m_restartLine; }

    // Parameters.
    double getR(int index) const;
    void setR(int index, double value);
    double getG(int index) const { return (index >= 0 && index < GParams) ? m_g[index] : 0.0; }
    void setZeroPoint(int axis, int number, double value);
    CToolTable& tools() { return m_tools; }
    const CToolTable& tools() const { return m_tools; }

    // Read access for the channel and tests.
    const CBlockState& block() const { return m_block; }
    std::int32_t currentLine() const { return m_lineIndex; }
    std::int32_t errorLine() const { return m_errorLine; }
    std::uint32_t ncError() const { return m_ncError; }
    // Forgets the error of an earlier run (a new start).
    void clearNcError()
    {
        m_ncError = 0;
        m_errorLine = -1;
    }
    // A program was loaded whole (a failed load leaves none).
    bool programLoaded() const { return m_programLoaded; }
    std::int32_t blockNumber() const { return m_blockNo; }
    std::uint32_t blockCounter() const { return m_blockCounter; }
    int condition() const { return m_condition; }
    int pendingOutputs() const { return m_pendingOutputs; }
    std::size_t cursor() const { return m_cursor; }
    int traceMode() const { return m_traceMode; }
    void setStopAtMarker(bool on) { m_stopAtMarker = on; }
    // Whether the cursor stands on a "wait_idle" that waits for the group.
    bool cursorOnWaitIdle() const { return at("wait_idle"); }
    std::uint8_t mDefinitionFlags(int m) const;

protected:
    struct MDefinition
    {
        std::uint8_t flags = 0;
        std::int32_t cancels[MDefCancels];
    };

    // Modal groups of the G functions; each holds the last function code.
    enum ModalGroup
    {
        ModalMotion,
        ModalPlane,
        ModalRadiusCorrection,
        ModalZeroShift,
        ModalExactStop,
        ModalUnits,
        ModalDistance,
        ModalOneShot,
        ModalSense,
        ModalContourFeed,
        ModalCollision,
        ModalCpc,
        ModalRotEx,
        ModalDiameter,
        ModalFeedProfile,
        ModalTpm,
        ModalCircle,
        ModalMachineData, // the second dialect's mode bit
        ModalGroupCount
    };

    // Messages and errors.
    void log(std::uint32_t category, std::uint32_t number, const char* format, std::vector<NcLogArg> args);
    // Message with channel and line first, error line, NC error and state 11.
    void fail(std::uint32_t message, const char* format, std::vector<NcLogArg> args, std::uint32_t ncError);
    long long channelArg() const { return m_channel.channelNumber(); }
    long long lineArg() const { return m_blockNo; }

    // Modal codes and block output.
    void setModalCode(ModalGroup group, std::uint32_t code, bool marksChanged = false);
    void markOutput() { m_block.markOutput(m_pendingOutputs); }
    void markChanged() { m_block.markChanged(m_pendingOutputs); }

    // Block flush (interpreter_flush.cpp).
    Emit flushBlock();
    bool prepareGeometry();
    void stampHeader(CEntry& entry, bool takesIndex) const;
    Emit handOver(CEntry* entry, bool takesIndex);
    Emit handOverPending(bool& pending, CEntry* entry, bool takesIndex);
    Emit emitToolNumber();
    Emit emitMFunctions(std::uint8_t mask);
    Emit emitIpolRules();
    Emit emitFunctions();
    Emit emitSpindle();
    Emit emitMeasMode();
    Emit emitGeometry();
    Emit emitOneAxis();
    Emit emitDwell();
    Emit emitHValue();
    Emit emitSpindleTest();
    Emit emitStop();
    Emit emitMClear();
    Emit emitChannelSync();
    void clearBlock();
    void clearBlockSetters();
    // Block geometry before the targets are computed (centres, angle end
    // points); false after an error that set state 11.
    virtual bool blockGeometry();

    // The text the cursor runs in: the program text or a built-in macro text.
    static constexpr int ProgramCode = 0;
    const char* code() const { return m_codeId == ProgramCode ? m_text.mainText() : m_macroCode; }
    std::size_t codeLength() const { return m_codeId == ProgramCode ? m_textLength : m_macroLength; }
    void enterCode(int codeId, std::size_t position);
    bool pushFrame(int targetCode, std::int32_t target, std::int32_t returnPos, int repeat);
    void callMacro(BuiltinMacros::Entry entry);

    // Executor (executor*.cpp).
    void dispatchWord();
    void lineEnd();
    bool at(const char* keyword) const; // first letter any case, rest exact
    bool take(const char* keyword);
    void skipBlanks();
    bool readNumber(double& value, bool allowPlus, bool commaSeparates = false);
    bool readIndex(int& value);
    bool readIndexedWord(int& index, int& number, int maxIndex);
    void unknownWord();
    // The number after a word; false (the word reported unknown) when there is none.
    bool readWordValue(double& value);
    // Sets a setting from the number after its word; leaves it as it was when there is none.
    void readSetting(double& setting);
    // Puts the cursor back to the start of the word and rejects the word.
    void unknownWordAt(std::size_t start);
    bool push(double value);
    bool pop(double& value);
    double currentAxis(int axis) const;
    void wordA();
    void wordC();
    void wordD();
    void wordF();
    void wordG();
    void wordH();
    void wordCentre(int axis);
    bool setCentre(int axis, double value);
    void wordJ();
    void wordL();
    void wordM();
    void wordN();
    void wordP();
    void wordQ();
    void wordR();
    void wordS();
    void wordT();
    void wordX();
    void wordSet();
    void wordMsg();
    void wordOrx();
    void wordWaitIdle();
    void wordTangDesc();
    bool setFeed(double value);
    bool setAxis(int axis, double value);
    bool axisIndex(int digits, int& axis, const char* letter);
    void sense(int value);
    void calc();
    bool calcRelation(const std::string& op);
    bool calcRotation(const std::string& op);
    void pushc();
    void popc();
    bool popSetter(double value);
    bool checkRange(double value, double minimum, double maximum, std::uint32_t message);
    bool setAux(int number, double value);
    // Absolute target of an axis word: modulo axes (bits of the mode mask)
    // take the rotary target from the current position.
    double absoluteTarget(int moduloBit, double value, double current) const;
    double scaled(int axis, double value) const;
    bool collectValue(double v, int count);
    void collectThreeValues(double v, std::uint32_t code);
    bool popMultiValueSetter(double v);
    bool popOneAxisSetter(double v);
    bool popToolSetter(double v);
    void failPosa();
    void setRadius(double value);
    bool assignR(int index);
    bool readRIndex(int& index);
    bool readIndirect(double& value);
    bool readIndirectIndex(int& index);
    void jumpEol();
    void jumpElse();
    void gotoWord();
    void callWord();
    void returnWord();
    void repeatWord(int label, int repeat);
    bool callLabel(int label, int repeat, std::int32_t returnPos, bool askChannel);
    void resolveJump();
    bool lineIsBlock(std::size_t start, int number) const;
    void traceLineMarker();
    void traceBlockNumber();
    std::size_t lineOfPosition(std::size_t position) const;
    void buildLineStarts();

    // M definitions (interpreter_mfunc.cpp).
    bool readMDefinitionFile(const std::string& path);

    IInterpreterChannel& m_channel;

    // Program text and cursor.
    CTextBuffer m_text;
    std::size_t m_textLength = 0;
    std::size_t m_cursor = 0;
    int m_codeId = ProgramCode;
    const char* m_macroCode = nullptr;
    std::size_t m_macroLength = 0;
    int m_frameCodes[CallStackSize][2] = {}; // per frame: text of the target, text of the return
    // Cycle macros: side flags 1 to 4 and the corner-radius-zero flag.
    bool m_macroSides[4] = {false, false, false, false};
    bool m_cornerRadiusZero = false;
    std::vector<std::size_t> m_lineStarts;
    bool m_programLoaded = false;
    bool m_programStarted = false;

    // Read by the group's threads for their messages.
    std::atomic<std::int32_t> m_lineIndex{-1};
    std::int32_t m_blockNo = 0;
    std::uint32_t m_blockCounter = 0;
    std::int32_t m_errorLine = -1;
    std::uint32_t m_ncError = 0;
    std::atomic<int> m_state{static_cast<int>(InterpreterState::Idle)};
    int m_condition = 0;
    int m_mismatches = 0;

    COperandStack m_stack{OperandStackSize};
    CCallStack m_calls{CallStackSize};
    CLabelTable m_labels;

    double m_r[LocalRParams] = {};
    double m_g[GParams] = {};

    CBlockState m_block;
    std::uint32_t m_modal[ModalGroupCount] = {};
    bool m_functionChanged = false;
    bool m_modalChanged[ModalGroupCount] = {};
    int m_sense = 1;

    MDefinition m_mdefs[MDefCount];
    bool m_mdefsLoaded = false;
    std::uint8_t m_groupMPending[MDefCount] = {};

    int m_pendingOutputs = 0;
    std::uint32_t m_entryCounter = 0;
    bool m_entriesMade = false;
    bool m_rulesPending = false;
    // Interpolation rules (interpreter_rules.cpp): the words of a rules entry
    // at payload offsets 20 to 60. A rules entry goes out before the geometry
    // of the first motion after start or reset and of every motion that
    // changes one of them.
    using RuleWords = std::array<std::uint32_t, 11>;
    RuleWords currentRuleWords() const;
    void noteMotionRules();
    RuleWords m_pendingRules{};
    RuleWords m_sentRules{};
    bool m_rulesSent = false;
    bool m_stopped = false;
    std::atomic<bool> m_alternativeStop{false};
    double m_savedRotation[3] = {0, 0, 0};
    double m_auxStart[CBlockState::AuxAxes] = {};

    // Units and modes.
    double m_metricFactor = 1.0;
    double m_inchFactor = 25.4;
    double m_radiusPrecision = 0.1;
    bool m_inch = false;        // G70/G700
    bool m_feedScaling = false; // G700/G710
    bool m_incremental = false;
    bool m_incrementalCentres = true; // centres relative to the start
    int m_radiusCorrection = 40;
    int m_zeroShift = 0;     // 0 off, 1..4 (G54..G57)
    int m_shiftSelector = 0; // G25/G26
    int m_programmableShift = 0;
    bool m_exactStopModal = false;
    bool m_g62 = false;
    bool m_planeCheck = true;
    int m_cycleMacro = 0;
    bool m_threePoint = false; // "CIP": this block's circle by an intermediate point
    double m_zeroPoints[ZeroPointAxes][ZeroPointNumbers] = {};
    CToolTable m_tools;
    CToolRecord m_selectedTool; // data of the tool correction last selected
    CVec3d m_lastMachineTarget;
    bool m_geometryPrepared = false;
    bool m_geometryPending = false;
    CVec3d m_machineTarget;

    // Pending function entries by code, sent in the fixed order of the flush.
    struct PendingFunction
    {
        bool pending = false;
        CEntryFunk data;
    };
    PendingFunction m_functions[FunctionCodes];
    void queueFunction(std::uint32_t code, const CEntryFunk& data);
    // A chamfer (kind 1 by its leg, 2 by its length) or rounding (3) for the
    // corner at the end of this block; a size of 0 announces nothing.
    void announceCorner(int kind, double size);

    // Message of "MSG".
    bool m_msgPending = false;
    int m_msgLevel = 0;
    int m_msgMask = 0;
    char m_msgText[81] = {};

    // Setter values (stored for the entries and the later stages).
    struct Settings
    {
        double dynOvr = 1.0;
        double spindleLimit = 0.0;
        double segment = 0.0;
        bool segmentSet = false;
        double rounding = 0.0;
        int cornerKind = 0;
        double cornerSize = 0.0;
        int planAxis = 0;
        double spindleOrientation = 0.0;
        bool mirror[3] = {false, false, false};
        bool mirrorChanged = false;
        int deleteDistanceMode = 0;
        bool transmit = false;
        bool toolOffsetInc = false;
        bool zeroShiftInc = false;
        bool qPositionMode = false;
        bool diameterMode = false;
        bool tpm = false;
        int rotationMode = 0;
        double rotationAngles[3] = {0, 0, 0};
        int modeMask = 0; // modulo axes: bits 0..2 X..Z, 3..7 Q1..Q5
        bool scaling = false;
        double scale[3] = {1.0, 1.0, 1.0};
        std::uint16_t groupAxes[8] = {};
        int groupAxisCount = 0;
        bool posaTaken = false; // "POSA" took the position, "ID" comes next
        double posaTarget = 0.0;
        int stepOnPlace = -1;   // place of the last "WAITP" in this block
        int toolStage = 0;      // tool parameter words taken: 1 after "ToolP3"/"ToolRP3", 2 after "ToolP2"
        bool toolRead = false;  // "ToolRP3": the value goes into an R parameter
        double toolValue = 0.0; // the value, or the R index of a read
        int toolField = 0;
        double setterValues[4] = {0, 0, 0, 0};
        int setterIndex = 0;
        bool tangDesc = false;
        int tangAxis1 = 0;
        int tangAxis2 = 0;
        int tangAxis = 0;
        bool tangOn = false;
        double tangOffset = 0.0;
    } m_set;

    // Trace.
    int m_traceMode = 0;
    std::string m_traceLine;

    // Stops, waits and jumps.
    bool m_stopAtMarker = false;
    bool m_markerPassed = false;
    std::atomic<bool> m_waitReleased{false};
    bool m_waitIdleReleased = false; // the wait armed by a "wait_idle" word was released
    std::atomic<bool> m_resetRequested{false};
    std::atomic<bool> m_stopOverride{false};
    bool m_waited = false;
    bool m_wordRetry = false; // the channel had no room for a word's entry
    bool m_waitAfterFlush = false;
    bool m_stopMarker = false;
    bool m_stopRequested = false;
    int m_jumpTarget = 0;
    std::size_t m_jumpLine = 0;
    bool m_jumpStarted = false;

    // Loading and translation.
    std::string m_projectDir;
    std::string m_subProgramDir;
    bool m_restrictedMode = false;
    bool m_edgeRadiusValidation = false;
    std::int32_t m_translatedBlockNo = 0;
    std::string m_translationMessage;
    std::int32_t m_translatedLine = -1; // line index of the block translated last
    std::uint32_t translateLines(const std::string& text);
    std::uint32_t appendSubProgram(const std::string& name);
    std::uint32_t loadFailed(std::uint32_t code);

    CSymbolTable m_symbols;
    CIpolRuleTracer m_ruleTracer;

    // Data access.
    struct KernelRead
    {
        bool pending = false;
        int kind = 0;
        int rIndex = 0;
    } m_kernelRead;
    char m_feedModeChar = 'F';

    // Block search.
    bool m_searchActive = false;
    int m_searchKind = 0;
    std::int64_t m_searchTarget = 0;
    bool m_searchToEnd = false;
    std::int32_t m_restartLine = -1;
};

// The interpreter of the system's own dialect.
class CCorvantaInterpreter : public CInterpreter
{
public:
    using CInterpreter::CInterpreter;
    // Machine-data bits are accepted without effect in this dialect.
    bool writeMdBit(int word, int bit, int value) override;
    bool readMdBit(int word, int bit, int& value) override;
};
