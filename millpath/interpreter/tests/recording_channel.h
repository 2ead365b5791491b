// A channel double for the interpreter tests: it records the entries handed to
// it and the log messages, and lets a test control room, motion and limits.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "entry.h"
#include "interpreter.h"
#include "interpreter_channel.h"
#include "program_text_store.h"

class RecordingChannel : public IInterpreterChannel
{
public:
    explicit RecordingChannel(int number = 1) : m_number(number) {}

    int channelNumber() const override { return m_number; }
    void reportLog(const NcLogMessage& message) override { messages.push_back(message); }
    int addEntry(CEntry* entry) override
    {
        if (refuseWith != 0)
            return refuseWith;
        if (room <= 0)
            return AddEntry::NotNow;
        --room;
        entries.emplace_back(entry);
        return AddEntry::Taken;
    }
    int groupFreePlaces() override { return freePlaces; }
    bool hasGroup() override { return true; }
    bool groupHasUnfinishedMotion() override { return motion; }
    bool groupHasCapability(int gNumber) override { return capabilities.count(gNumber) > 0; }
    bool groupExclusiveMode() override { return exclusive; }
    std::uint32_t prepareGroup() override { return prepareError; }
    bool programLogOn() override { return false; }
    std::string programName() override { return "test"; }
    bool axisLimits(int axis, double& minimum, double& maximum) override
    {
        if (!limits)
            return false;
        minimum = limitMin[axis];
        maximum = limitMax[axis];
        return true;
    }
    double minimumFeed() override { return minFeed; }
    bool displayText(std::int32_t lineIndex, std::string& text) override
    {
        text = "line " + std::to_string(lineIndex);
        return true;
    }
    bool pathAxesPositions(double positions[3]) override
    {
        for (int i = 0; i < 3; ++i)
            positions[i] = axisPositions[i];
        return true;
    }
    std::uint32_t inputWord() override { return input; }
    int findLabel(const std::string& name, std::int32_t& position) override
    {
        auto it = extraLabels.find(name);
        if (findResult != 1)
            return findResult;
        if (labelLoader)
            return labelLoader->findSubProgramLabel(name, position);
        if (it == extraLabels.end())
            return 0;
        position = it->second;
        return 1;
    }
    void rotationExtension(bool) override {}
    CProgramTextStore& textStore() override { return store; }
    void programFileOpened(const std::string& path) override { openedFiles.push_back(path); }
    // Answers the kernel reads from the scripts below; an empty script
    // answers as a kernel that does not answer.
    std::uint32_t readChannelState(std::uint8_t (&state)[ChannelStateSize]) override
    {
        ++channelStateReads;
        if (channelStateAnswers.empty())
            return NoAnswer;
        const KernelAnswer answer = channelStateAnswers.front();
        channelStateAnswers.pop_front();
        if (answer.error != 0)
            return answer.error;
        std::fill(std::begin(state), std::end(state), std::uint8_t{0});
        std::copy_n(answer.bytes.begin(), std::min(answer.bytes.size(), ChannelStateSize), state);
        return 0;
    }
    bool hasSecondKernelAddress() override { return secondKernelAddress; }
    std::uint32_t preprocessBlock(const std::string& block, std::string& answer) override
    {
        preprocessed.push_back(block);
        if (preprocessAnswers.empty())
            return NoAnswer;
        const KernelAnswer next = preprocessAnswers.front();
        preprocessAnswers.pop_front();
        if (next.error == 0)
            answer = next.text.substr(0, PreprocessAnswerSize);
        return next.error;
    }

    // Entries of one type, in the order handed over.
    template <class T> std::vector<const T*> of() const
    {
        std::vector<const T*> result;
        for (const auto& e : entries)
            if (auto* t = dynamic_cast<const T*>(e.get()))
                result.push_back(t);
        return result;
    }
    std::vector<std::uint32_t> types() const
    {
        std::vector<std::uint32_t> result;
        for (const auto& e : entries)
            result.push_back(e->m_type);
        return result;
    }
    bool logged(std::uint32_t number) const
    {
        for (const auto& m : messages)
            if (m.number == number)
                return true;
        return false;
    }

    int m_number;
    std::vector<std::unique_ptr<CEntry>> entries;
    std::vector<NcLogMessage> messages;
    int room = 1000000;
    int refuseWith = 0;
    int freePlaces = 49;
    bool motion = false;
    bool exclusive = false;
    std::uint32_t prepareError = 0;
    std::map<int, bool> capabilities;
    bool limits = false;
    double limitMin[3] = {-100, -100, -100};
    double limitMax[3] = {100, 100, 100};
    double minFeed = 0.0;
    double axisPositions[3] = {0, 0, 0};
    std::uint32_t input = 0;
    std::map<std::string, std::int32_t> extraLabels;
    int findResult = 1;
    // Run-time label search through the interpreter's sub-program files.
    CInterpreter* labelLoader = nullptr;

    CProgramTextStore store{1 << 20};
    std::vector<std::string> openedFiles;
    static constexpr std::uint32_t NoAnswer = 0x606; // the Vos time-out
    struct KernelAnswer
    {
        std::uint32_t error = 0;
        std::vector<std::uint8_t> bytes; // channel state
        std::string text;                // pre-processed lines
    };
    std::deque<KernelAnswer> channelStateAnswers;
    int channelStateReads = 0;
    bool secondKernelAddress = false;
    std::deque<KernelAnswer> preprocessAnswers;
    std::vector<std::string> preprocessed;
};

// Line marker of the stack language for line index n.
inline std::string lineMarker(std::uint32_t n)
{
    std::string m = "\x87\x01";
    for (int i = 0; i < 4; ++i)
        m += static_cast<char>((n >> (8 * i)) & 0xFF);
    m += '\x87';
    return m;
}

// Steps on until the interpreter rests (also used after a test changed the
// channel): the error state is caught before it turns into "aborted".
inline InterpreterState resume(CInterpreter& interpreter, int maxSteps = 100000)
{
    for (int i = 0; i < maxSteps; ++i)
    {
        if (interpreter.getState() == InterpreterState::Error)
            break;
        if (interpreter.step() != 0)
            break;
    }
    return interpreter.getState();
}

// Starts the loaded program and steps on until it rests.
inline InterpreterState startProgram(CInterpreter& interpreter, int maxSteps = 100000)
{
    interpreter.setState(InterpreterState::StartRequested);
    return resume(interpreter, maxSteps);
}

// Runs the program from the start until it rests. Returns the state it rests in.
inline InterpreterState runProgram(CInterpreter& interpreter, const std::string& text, int maxSteps = 100000)
{
    if (!interpreter.loadProgramText(text))
        return InterpreterState::None;
    interpreter.setState(InterpreterState::StartRequested);
    return resume(interpreter, maxSteps);
}

// A channel with its own-dialect interpreter.
struct InterpreterFixture
{
    RecordingChannel channel;
    CCorvantaInterpreter interpreter{channel, 65536, 64};
};

// Runs text on a fresh interpreter (the channel set up by setup) and checks
// that it stops in the error state with the message and the NC error.
template <class Setup>
inline void expectProgramError(const std::string& text, std::uint32_t message, std::uint32_t ncError,
                               Setup setup)
{
    InterpreterFixture f;
    setup(f.channel);
    EXPECT_EQ(runProgram(f.interpreter, text), InterpreterState::Error) << text;
    EXPECT_TRUE(f.channel.logged(message)) << text;
    EXPECT_EQ(f.interpreter.ncError(), ncError) << text;
}

inline void expectProgramError(const std::string& text, std::uint32_t message, std::uint32_t ncError)
{
    expectProgramError(text, message, ncError, [](RecordingChannel&) {});
}

// A program that stops in the error state with this message and NC error.
struct ProgramErrorCase
{
    const char* text;
    std::uint32_t message;
    std::uint32_t ncError;
};

template <std::size_t N> void expectProgramErrors(const ProgramErrorCase (&cases)[N])
{
    for (const ProgramErrorCase& c : cases)
        expectProgramError(c.text, c.message, c.ncError);
}

// As expectProgramError, and the channel got no entry at all.
inline void expectRefusedBeforeAnyEntry(const std::string& text, std::uint32_t message, std::uint32_t ncError)
{
    expectProgramError(text, message, ncError, [](RecordingChannel&) {});
    InterpreterFixture f;
    runProgram(f.interpreter, text);
    EXPECT_TRUE(f.channel.entries.empty()) << text;
}

// A fresh temporary folder, removed with the object.
struct TempFolder
{
    std::filesystem::path path;

    // The interpreter opens files below the device root only: the temporary
    // folders' parent is the root of these tests.
    TempFolder()
    {
        ::setenv("DEVICE_ROOT", std::filesystem::temp_directory_path().c_str(), 1);
        std::random_device rd;
        path = std::filesystem::temp_directory_path() /
               ("mp_test_" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path);
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string str() const { return path.string(); }
    std::string file(const std::string& name) const { return (path / name).string(); }
    void write(const std::string& name, const std::string& text) const
    {
        std::filesystem::create_directories((path / name).parent_path());
        std::ofstream(path / name) << text;
    }
};

// Loads M definitions from a definition file "m_defs.t00" with this text in
// a fresh temporary folder.
inline void loadMDefinitionText(CInterpreter& interpreter, const std::string& text)
{
    TempFolder folder;
    folder.write("m_defs.t00", text);
    ASSERT_TRUE(interpreter.loadMDefinitions(folder.str()));
}

// The markers the translator writes before the first piece of a block:
// the line marker of line index n and the block-start marker.
inline std::string blockMarkers(std::uint32_t n)
{
    return lineMarker(n) + "\x83\x02\x83";
}

// The program text of an interpreter (stack language with its markers).
inline std::string programText(const CInterpreter& interpreter)
{
    return std::string(interpreter.programText(), interpreter.programTextLength());
}
