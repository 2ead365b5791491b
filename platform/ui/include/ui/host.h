// The host runs dialogs: the stack of modal dialogs, message boxes and popup menus,
// timers on its clock, posted messages and the input that renderers send. Handlers,
// posted messages and timers all run on the one UI thread that runs the dialogs;
// post() may be called from any thread.
//
// Order of work, as on the device: posted messages and input in the order they came,
// then timers that are due, in order of their due time (ties in the order set).
//
// Two hosts: LiveHost (ui/live_host.h) for programs, where renderers send input from
// their threads; ScriptedHost (ui/testing/scripted_host.h) for tests.
#pragma once

#include <ui/clock.h>
#include <ui/dialog.h>
#include <ui/snapshot.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ui
{
struct MenuItem
{
    int id = 0;
    std::string text;
    bool enabled = true;
    bool separator = false;
};

struct Menu
{
    std::vector<MenuItem> items;
    Menu& append(int id, std::string text, bool enabled = true);
    Menu& separator();
    void enable(int id, bool enabled);
};

// One event from a renderer.
enum class InputType
{
    Click,       // a button, check box or radio button
    Text,        // an edit's or an editable combo box's text
    Select,      // a combo box item, a tab item, or list rows (rows, index = mark)
    UpDown,      // an arrow: value 1 up, -1 down; heldMs how long it has been held
    Slider,      // value: the new position
    DoubleClick, // list view: index = row, -1 for none
    RightClick,  // list view: index = row, -1 for none
    Key,         // value: the virtual key, on a control or (control 0) the dialog
    Answer,      // overlay: the pending message box's or menu's id; value: the choice
    Close,       // the dialog's close box: Cancel
};

struct Input
{
    InputType type = InputType::Click;
    int dialog = 0; // resource id of an open dialog or child dialog
    int control = 0;
    std::string text;
    int index = -1;
    std::vector<int> rows;
    int value = 0;
    unsigned heldMs = 0;
    int overlay = 0;
};

enum class InputStatus
{
    Accepted,
    Refused,  // malformed: unknown dialog or control, wrong kind, value out of range
    Inactive, // the dialog, control or overlay does not take input now
    Busy,     // the UI thread did not take it in time (renderers only)
};

struct InputResult
{
    InputStatus status = InputStatus::Accepted;
    std::string error;
    bool accepted() const { return status == InputStatus::Accepted; }
};

class Host
{
public:
    explicit Host(Clock& clock);
    virtual ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Runs the dialog until it ends; its result.
    virtual int runModal(Dialog& dialog) = 0;
    // The button pressed: IDOK, IDYES, ...
    virtual int messageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
    // The command chosen, 0 when the menu was dismissed.
    virtual int trackPopupMenu(const Menu& menu, Point point) = 0;

    Clock& clock() const { return m_clock; }

    // Any thread.
    void post(Dialog& target, unsigned message, intptr_t param);
    void setTimer(Dialog& dialog, int timerId, unsigned periodMilliseconds);
    void killTimer(Dialog& dialog, int timerId);

    // The state of every open dialog and pending overlay (UI thread).
    Snapshot describe() const;
    const std::vector<Dialog*>& stack() const { return m_stack; }

    // Creates a child dialog into a running one and runs its onInit.
    void openChild(Dialog& parent, Dialog& child, int anchorControl);
    // Forgets a dialog that goes away, with what is queued for it.
    void forget(Dialog& dialog);

protected:
    struct Pending
    {
        int id = 0;
        Overlay overlay;
        std::optional<int> answer;
    };

    // Checks an input against the dialogs as they are now, then applies it: the
    // control's own change first, then the dialog's handler. Nothing changes when it
    // is refused.
    InputResult validate(const Input& input) const;
    void apply(const Input& input);

    // Puts a dialog on the stack and runs its onInit; takes it off again.
    void open(Dialog& dialog);
    void close(Dialog& dialog);

    // Pending overlays, the last one takes the answer.
    Pending& pushOverlay(Overlay overlay);
    void popOverlay(int id);
    const Pending* findOverlay(int id) const;

    // Runs one posted message, or else one timer that is due; false when there was none.
    bool runOne();
    // When the next timer is due, if one is set.
    std::optional<Milliseconds> nextDue() const;

    // Queue access for derived hosts.
    std::mutex& queueMutex() const { return m_queueMutex; }
    std::condition_variable& queueChanged() { return m_queueChanged; }
    bool queueEmpty() const { return m_posted.empty(); } // under queueMutex()
    bool hasPosted() const;
    // Input queued by another thread, answered on the UI thread before it is applied;
    // only while the condition (checked under the queue's lock) holds.
    bool queueInputWhile(const std::function<bool()>& condition, Input input,
                         std::shared_ptr<std::promise<InputResult>> reply);

private:
    struct Posted
    {
        Dialog* target = nullptr;
        unsigned message = 0;
        intptr_t param = 0;
        std::optional<Input> input;
        std::shared_ptr<std::promise<InputResult>> reply;
    };
    struct Timer
    {
        Dialog* dialog = nullptr;
        int id = 0;
        Milliseconds period{0};
        Milliseconds due{0};
        uint64_t order = 0;
    };

    Dialog* findDialog(int resourceId) const;
    bool takesInput(const Dialog& dialog) const;
    void applyToControl(Dialog& dialog, Control& control, const Input& input);
    void pressUpDown(Dialog& dialog, UpDown& upDown, const Input& input);
    void pressKey(Dialog& dialog, Control* control, int key);
    void selectTab(Dialog& dialog, TabControl& tab, int index);
    void command(Dialog& dialog, int id, Command code);
    void answer(int overlayId, int value);

    void dropQueued(const Dialog& dialog);

    Clock& m_clock;
    std::vector<Dialog*> m_stack;
    std::vector<Dialog*> m_known; // every dialog that runs or ran here
    std::vector<Pending> m_overlays;
    int m_nextOverlay = 1;

    mutable std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::deque<Posted> m_posted;
    std::vector<Timer> m_timers;
    uint64_t m_timerOrder = 0;
};

// The buttons of a message box's flags, in the order they are shown.
std::vector<Choice> messageBoxChoices(unsigned flags);
} // namespace ui
