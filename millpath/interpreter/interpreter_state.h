// States of an interpreter and the contract of one execution step.
#pragma once

// The channel's worker calls CInterpreter::step() in a loop. One step does at
// most one unit of work for the state the interpreter is in and returns the
// time in milliseconds the worker may wait on its event before the next step
// (0: step again at once). Commands and kernel events of the channel change
// the state from other threads only through the interpreter's request
// operations (start, reset, stop, release of a wait); the worker thread alone
// runs the program.
//
//   state                  what one step does
//   1  Idle                nothing (no program loaded); waits
//   2  Ready               nothing; a program is loaded or a stop has been
//                          reached, and Start (state 3) goes on
//   3  StartRequested      a program that has not run yet is prepared (start
//                          the program: -> 4 or 11); a held program resumes (-> 5)
//   4  Started             -> 5
//   5  Running             runs one block (one line and its block flush)
//   6  WaitingForIdle      when the wait is released: a pending stop -> 2,
//                          else -> 5; otherwise waits
//   7  OutputPending       retries the block flush; when all is out -> 5,
//                          or -> 9 at the end of the text; otherwise waits
//   8  JumpPending         one piece (at most ten lines) of the jump search
//   9  EndOfProgram        -> 12
//   10 StoppedAtMarker     nothing; Start goes on (-> 5)
//   11 Error               -> 13 (the error line and code stay readable)
//   12 Finished            nothing; a new load or Start first resets
//   13 Aborted             nothing; a new load or Start first resets
//   14 Resetting           read while a reset is requested; the step resets
//                          (-> 2 with a program loaded, else 1)
//   15 StopRequested       read while the stop command holds the channel;
//                          nothing runs until a reset
//   16 WaitingForKernel    a kernel answer (parameter read, position record)
//                          is awaited; the kernel event releases it (-> 5)
//   17 StopNotTaken        the group could not take the stop of an H5; the
//                          step retries it (-> 6 once taken)
enum class InterpreterState : int
{
    None = 0,
    Idle = 1,
    Ready = 2,
    StartRequested = 3,
    Started = 4,
    Running = 5,
    WaitingForIdle = 6,
    OutputPending = 7,
    JumpPending = 8,
    EndOfProgram = 9,
    StoppedAtMarker = 10,
    Error = 11,
    Finished = 12,
    Aborted = 13,
    Resetting = 14,
    StopRequested = 15,
    WaitingForKernel = 16,
    StopNotTaken = 17,
};

// Wait of a step that has nothing to do at once.
constexpr int InterpreterIdleWaitMs = 10;
