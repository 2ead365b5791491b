// The web renderer over loopback HTTP, against a live host with a UI thread.
#include "recording_dialog.h"

#include <raw_client.h>

#include <ui/web/web_renderer.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <future>
#include <thread>

using namespace std::chrono_literals;
using httptest::bodyOf;
using httptest::exchange;
using httptest::RawClient;
using httptest::statusOf;
using uitest::RecordingDialog;

namespace
{
// Long enough that a poll never ends by its time here, unless a test wants it to.
constexpr auto kLongPoll = 30s;

class WebRendererTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dialog.addLabel(1002, "Current power source:");
        m_dialog.addButton(10, "Change");
        m_dialog.addButton(11, "Off").enable(false);
        m_dialog.addEdit(1007);
        m_dialog.addButton(IDOK, "OK");
        m_dialog.onClick[10] = [this] { m_dialog.setItemText(1002, "Current power source: ONLINE"); };
        ui::web::Options options;
        options.longPoll = kLongPoll;
        m_renderer = std::make_unique<ui::web::WebRenderer>(m_host, options);
        ASSERT_TRUE(m_renderer->start());
        m_ui = std::thread([this] { m_host.runModal(m_dialog); });
        // The first snapshot with the dialog.
        ASSERT_EQ(statusOf(get("/api/state?since=0")), 200);
    }

    void TearDown() override
    {
        m_host.quit();
        if (m_ui.joinable())
            m_ui.join();
        m_renderer->stop();
    }

    std::string hostHeader() const { return "127.0.0.1:" + std::to_string(m_renderer->port()); }

    std::string request(const std::string& method, const std::string& target, const std::string& headers,
                        const std::string& body = {})
    {
        std::string text = method + " " + target + " HTTP/1.1\r\n" + headers;
        if (method == "POST")
            text +=
                "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
        return exchange(m_renderer->port(), text + "\r\n" + body);
    }

    std::string get(const std::string& target)
    {
        return request("GET", target,
                       "Host: " + hostHeader() + "\r\nX-Token: " + m_renderer->token() + "\r\n");
    }

    std::string post(const std::string& body)
    {
        return request("POST", "/api/input",
                       "Host: " + hostHeader() + "\r\nX-Token: " + m_renderer->token() + "\r\n", body);
    }

    nlohmann::json state(uint64_t since = 0)
    {
        return nlohmann::json::parse(bodyOf(get("/api/state?since=" + std::to_string(since))));
    }

    ui::LiveHost m_host;
    RecordingDialog m_dialog{100, "CORVANTA UPS Configuration"};
    std::unique_ptr<ui::web::WebRenderer> m_renderer;
    std::thread m_ui;
};

TEST_F(WebRendererTest, TheTokenAndTheHostNameAreChecked)
{
    const std::string port = std::to_string(m_renderer->port());
    const std::string token = m_renderer->token();
    EXPECT_EQ(token.size(), 32u);
    EXPECT_EQ(m_renderer->url(), "http://127.0.0.1:" + port + "/?token=" + token);

    const std::string page = request("GET", "/?token=" + token, "Host: 127.0.0.1:" + port + "\r\n");
    EXPECT_EQ(statusOf(page), 200);
    EXPECT_NE(page.find("Content-Type: text/html"), std::string::npos);
    EXPECT_NE(bodyOf(page).find("/api/state"), std::string::npos);
    EXPECT_EQ(statusOf(request("GET", "/?token=" + token, "Host: LocalHost:" + port + "\r\n")), 200);

    const struct
    {
        const char* name;
        std::string target;
        std::string headers;
    } refused[] = {
        {"page without token", "/", "Host: 127.0.0.1:" + port + "\r\n"},
        {"page with a wrong token", "/?token=" + std::string(32, '0'), "Host: 127.0.0.1:" + port + "\r\n"},
        {"page with a longer token", "/?token=" + token + "0", "Host: 127.0.0.1:" + port + "\r\n"},
        {"page for a foreign host", "/?token=" + token, "Host: attacker.example:" + port + "\r\n"},
        {"page without the port", "/?token=" + token, "Host: 127.0.0.1\r\n"},
        {"page with another port", "/?token=" + token,
         "Host: localhost:" + std::to_string(m_renderer->port() + 1) + "\r\n"},
        {"page without a host", "/?token=" + token, ""},
        {"state without token", "/api/state", "Host: 127.0.0.1:" + port + "\r\n"},
        {"state with the token in the query", "/api/state?token=" + token,
         "Host: 127.0.0.1:" + port + "\r\n"},
        {"state with a wrong token", "/api/state", "Host: 127.0.0.1:" + port + "\r\nX-Token: nope\r\n"},
        {"state for a foreign host", "/api/state",
         "Host: 127.0.0.2:" + port + "\r\nX-Token: " + token + "\r\n"},
    };
    for (const auto& row : refused)
    {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(statusOf(request("GET", row.target, row.headers)), 403);
    }
    const std::string click = R"({"type":"click","dlg":100,"ctl":10})";
    EXPECT_EQ(statusOf(request("POST", "/api/input", "Host: 127.0.0.1:" + port + "\r\n", click)), 403);
    EXPECT_EQ(statusOf(request("POST", "/api/input", "Host: evil:" + port + "\r\nX-Token: " + token + "\r\n",
                               click)),
              403);
    EXPECT_EQ(state()["dialogs"][0]["controls"][0]["text"], "Current power source:");
}

TEST_F(WebRendererTest, RefusedInputLeavesTheModelUnchanged)
{
    const nlohmann::json before = state();
    const struct
    {
        const char* name;
        std::string body;
        int status;
    } cases[] = {
        {"no JSON", "{\"type\":", 400},
        {"not an object", "[1,2]", 400},
        {"unknown type", R"({"type":"explode","dlg":100,"ctl":10})", 400},
        {"no dialog", R"({"type":"click","ctl":10})", 400},
        {"dialog as text", R"({"type":"click","dlg":"100","ctl":10})", 400},
        {"control past int", R"({"type":"click","dlg":100,"ctl":4294967296})", 400},
        {"unknown dialog", R"({"type":"click","dlg":101,"ctl":10})", 400},
        {"unknown control", R"({"type":"click","dlg":100,"ctl":999})", 400},
        {"click on a label", R"({"type":"click","dlg":100,"ctl":1002})", 400},
        {"text without text", R"({"type":"text","dlg":100,"ctl":1007})", 400},
        {"text as number", R"({"type":"text","dlg":100,"ctl":1007,"text":5})", 400},
        {"unknown key", R"({"type":"key","dlg":100,"key":"F13"})", 400},
        {"negative hold", R"({"type":"updown","dlg":100,"ctl":1007,"value":1,"held":-1})", 400},
        {"disabled button", R"({"type":"click","dlg":100,"ctl":11})", 409},
        {"body over 64 KiB",
         R"({"type":"text","dlg":100,"ctl":1007,"text":")" + std::string(65536, 'x') + "\"}", 413},
    };
    for (const auto& row : cases)
    {
        SCOPED_TRACE(row.name);
        const std::string answer = post(row.body);
        EXPECT_EQ(statusOf(answer), row.status);
        if (row.status != 413)
        {
            EXPECT_NE(bodyOf(answer).find("\"error\""), std::string::npos);
        }
    }
    const nlohmann::json after = state();
    EXPECT_EQ(after, before);
    EXPECT_EQ(m_dialog.events(), std::vector<std::string>{"init"});

    EXPECT_EQ(statusOf(post(R"({"type":"text","dlg":100,"ctl":1007,"text":"42"})")), 200);
    EXPECT_EQ(state(before["version"])["dialogs"][0]["controls"][3]["text"], "42");
}

TEST_F(WebRendererTest, TheLongPollReturnsOnAChange)
{
    const uint64_t version = state()["version"];
    const auto started = std::chrono::steady_clock::now();
    auto poll = std::async(std::launch::async, [&] { return state(version); });
    EXPECT_EQ(statusOf(post(R"({"type":"click","dlg":100,"ctl":10})")), 200);
    const nlohmann::json changed = poll.get();
    // It came with the change, not at the end of its time.
    EXPECT_LT(std::chrono::steady_clock::now() - started, kLongPoll);
    EXPECT_GT(changed["version"].get<uint64_t>(), version);
    EXPECT_EQ(changed["dialogs"][0]["controls"][0]["text"], "Current power source: ONLINE");
    EXPECT_EQ(statusOf(get("/api/state?since=x")), 400);

    // With nothing changing, a poll comes back after its time with the version it had.
    ui::web::Options shortPoll;
    shortPoll.longPoll = 200ms;
    ui::web::WebRenderer second(m_host, shortPoll);
    ASSERT_TRUE(second.start());
    const uint64_t now = changed["version"];
    const std::string answer =
        exchange(second.port(), "GET /api/state?since=" + std::to_string(now) +
                                    " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(second.port()) +
                                    "\r\nX-Token: " + second.token() + "\r\n\r\n");
    ASSERT_EQ(statusOf(answer), 200);
    EXPECT_EQ(nlohmann::json::parse(bodyOf(answer))["version"], now);
    EXPECT_NE(second.token(), m_renderer->token());
}

TEST_F(WebRendererTest, PagesWaitingForAChangeLeaveOthersAnswered)
{
    m_dialog.onClick[10] = [] {}; // a click that changes nothing: the polls wait on
    const uint64_t version = state()["version"];
    std::vector<std::unique_ptr<RawClient>> polls;
    for (int i = 0; i < 32; ++i)
    {
        polls.push_back(std::make_unique<RawClient>(m_renderer->port()));
        ASSERT_TRUE(polls.back()->send("GET /api/state?since=" + std::to_string(version) +
                                       " HTTP/1.1\r\nHost: " + hostHeader() +
                                       "\r\nX-Token: " + m_renderer->token() + "\r\n\r\n"));
    }
    // One more page loads and clicks while the 32 others wait.
    EXPECT_EQ(statusOf(request("GET", "/?token=" + m_renderer->token(), "Host: " + hostHeader() + "\r\n")),
              200);
    EXPECT_EQ(statusOf(post(R"({"type":"click","dlg":100,"ctl":10})")), 200);
    for (const auto& poll : polls)
    {
        EXPECT_EQ(poll->receiveAll(0s), "");
        EXPECT_FALSE(poll->closedByServer());
    }
    ASSERT_EQ(statusOf(post(R"({"type":"text","dlg":100,"ctl":1007,"text":"42"})")), 200);
    for (const auto& poll : polls)
    {
        const std::string answer = poll->receiveAll();
        ASSERT_EQ(statusOf(answer), 200);
        EXPECT_EQ(nlohmann::json::parse(bodyOf(answer))["dialogs"][0]["controls"][3]["text"], "42");
    }
}

TEST_F(WebRendererTest, PromptsAreOverlaysAndTheEndIsPublished)
{
    m_dialog.onClick[10] = [this]
    { m_dialog.setItemText(1002, ui::format("%d", m_dialog.messageBox("Version: 1.0.1", "About"))); };
    uint64_t version = state()["version"];
    ASSERT_EQ(statusOf(post(R"({"type":"click","dlg":100,"ctl":10})")), 200);
    nlohmann::json shown = state(version);
    for (int i = 0; i < 100 && shown["overlays"].empty(); ++i)
        shown = state(shown["version"]);
    ASSERT_EQ(shown["overlays"].size(), 1u);
    const nlohmann::json overlay = shown["overlays"][0];
    EXPECT_EQ(overlay["kind"], "message");
    EXPECT_EQ(overlay["text"], "Version: 1.0.1");
    EXPECT_EQ(overlay["caption"], "About");
    EXPECT_EQ(overlay["choices"][0]["label"], "OK");
    EXPECT_EQ(statusOf(post(R"({"type":"click","dlg":100,"ctl":10})")), 409);
    const int id = overlay["id"];
    ASSERT_EQ(statusOf(post(R"({"type":"answer","overlay":)" + std::to_string(id) + R"(,"value":1})")), 200);
    ASSERT_EQ(statusOf(post(R"({"type":"click","dlg":100,"ctl":1})")), 200);
    m_ui.join();
    const nlohmann::json ended = state();
    EXPECT_FALSE(ended["running"].get<bool>());
    EXPECT_TRUE(ended["dialogs"].empty());
    EXPECT_EQ(m_dialog.itemText(1002), "1");
}
} // namespace
