// The references on SCPI against a fake instrument on a thread of its own: a
// real socket on 127.0.0.1, or a pseudo-terminal for the serial path.
#include "FakeScpi.h"
#include "References.h"
#include "ScpiPort.h"

#include "EventLoop.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <stdlib.h>
#endif

#include <algorithm>
#include <cmath>
#include <deque>
#include <mutex>

using namespace station;

namespace {

const char *const kIdn = "ACME,DMM-1,SN4711,1.02";

TScpiAddress Local(uint16_t port)
{
    std::string error;
    const auto address = ParseScpiAddress("tcp:127.0.0.1:" + std::to_string(port), error);
    EXPECT_TRUE(address) << error;
    return address.value_or(TScpiAddress{});
}

bool Has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// Answers, in order, one per query of a command; thread-safe, as the fake
// calls it on its own thread.
class TScript
{
public:
    void Add(const std::string &command, std::string answer)
    {
        std::lock_guard lock(m_mutex);
        m_answers.emplace_back(command, std::move(answer));
    }
    TFakeScpi::THandler Handler()
    {
        return [this](const std::string &line) {
            TFakeReply reply;
            std::lock_guard lock(m_mutex);
            if (line == "*IDN?")
                reply.bytes = std::string(kIdn) + "\n";
            for (auto it = m_answers.begin(); it != m_answers.end(); ++it)
                if (it->first == line) {
                    reply.bytes = it->second;
                    m_answers.erase(it);
                    break;
                }
            return reply;
        };
    }

private:
    std::mutex m_mutex;
    std::deque<std::pair<std::string, std::string>> m_answers;
};

TEST(ScpiAddress, ParsesTheFormsAndRefusesTheRest)
{
    const std::pair<const char *, const char *> good[] = {
        {"tcp:127.0.0.1:5025", "tcp:127.0.0.1:5025"},
        {"tcp:meter.lab", "tcp:meter.lab:5025"},
        {"tcp:[::1]:5026", "tcp:[::1]:5026"},
        {"tcp:[fe80::1]", "tcp:[fe80::1]:5025"},
        {"serial:/dev/ttyUSB0", "serial:/dev/ttyUSB0:9600"},
        {"serial:COM3:19200", "serial:COM3:19200"},
    };
    for (const auto &[text, canonical] : good) {
        std::string error;
        const auto address = ParseScpiAddress(text, error);
        ASSERT_TRUE(address) << text << ": " << error;
        EXPECT_EQ(address->Text(), canonical);
    }
    for (const char *text : {"", "tcp:", "tcp::5025", "tcp:host:0", "tcp:host:70000", "tcp:host:50x", "tcp:::1",
                             "tcp:[::1", "tcp:[::1]5025", "serial:", "serial::9600", "serial:COM3:0", "udp:host:5025",
                             "127.0.0.1:5025"}) {
        std::string error;
        EXPECT_FALSE(ParseScpiAddress(text, error)) << text;
        EXPECT_TRUE(Has(error, "tcp:HOST[:PORT]") && Has(error, "serial:PORT[:BAUD]")) << error;
    }
}

// The meter's answers: amperes as numbers in any SCPI form, the overload
// value, and what is not a number or not text at all.
TEST(Meter, ReadsAmperesAndRefusesWhatIsNotAReading)
{
    TScript script;
    TFakeScpi fake(script.Handler());
    TEventLoop loop;
    TMeter meter(loop);
    std::string error;
    ASSERT_TRUE(meter.Open(Local(fake.Port()), error)) << error;
    EXPECT_EQ(meter.Identity().text, kIdn);
    EXPECT_TRUE(fake.WaitFor("CONF:CURR:DC"));

    const std::pair<const char *, double> readings[] = {
        {"+4.00012345E-03\n", 4.00012345}, {"2.0E-2\r\n", 20.0}, {" -1.5e-3 \n", -1.5}, {"0.004\n", 4.0}};
    for (const auto &[answer, mA] : readings) {
        script.Add("READ?", answer);
        const auto value = meter.ReadMilliAmps(error);
        ASSERT_TRUE(value) << answer << error;
        EXPECT_NEAR(*value, mA, 1e-12) << answer;
    }

    const std::string where = "meter at tcp:127.0.0.1:" + std::to_string(fake.Port()) + ": ";
    const std::pair<std::string, std::string> refused[] = {
        {"+9.9E+37\n", where + "overload"},
        {"-9.9E+37\n", where + "overload"},
        {"NAN\n", "is not a number"},
        {"inf\n", "is not a number"},
        {"4,0E-3\n", "is not a number"},
        {"4.0E-3 A\n", "is not a number"},
        {"\n", "is not a number"},
        {"++4.0E-3\n", "is not a number"},
        {std::string("4.0\x01") + "E-3\n", "holds a control character (byte 0x01)"},
        {"4.0\xff\xfe\n", "holds bytes that are not text"},
        {std::string(5000, '7') + "\n", "longer than 4096 bytes"},
    };
    for (const auto &[answer, why] : refused) {
        script.Add("READ?", answer);
        error.clear();
        EXPECT_FALSE(meter.ReadMilliAmps(error)) << answer.substr(0, 20);
        EXPECT_TRUE(Has(error, why)) << error;
        EXPECT_TRUE(Has(error, where)) << error;
    }
    // After all that the line still serves.
    script.Add("READ?", "+4.0E-03\n");
    const auto value = meter.ReadMilliAmps(error);
    ASSERT_TRUE(value) << error;
    EXPECT_DOUBLE_EQ(*value, 4.0);
}

TEST(ScpiPort, SilentInstrumentTimesOutNamingStepAndAddress)
{
    TFakeScpi fake([](const std::string &) { return TFakeReply{}; });
    TEventLoop loop;
    TScpiPort port(loop);
    std::string error;
    ASSERT_TRUE(port.Open(Local(fake.Port()), 3000, error)) << error;
    // A Ctrl+C (an event of the loop) ends the wait at once.
    TLoopTimer interrupt(loop, [&loop] { loop.Stop(); });
    interrupt.Start(50);
    const std::int64_t asked = TEventLoop::NowMs();
    EXPECT_FALSE(port.Query("READ?", 60000, error));
    EXPECT_LT(TEventLoop::NowMs() - asked, 30000);
    EXPECT_TRUE(Has(error, "interrupted while waiting for the answer to READ?")) << error;

    const std::int64_t start = TEventLoop::NowMs();
    EXPECT_FALSE(port.Query("READ?", 300, error));
    EXPECT_GE(TEventLoop::NowMs() - start, 300);
    EXPECT_EQ(error.substr(0, error.find(';')),
              "tcp:127.0.0.1:" + std::to_string(fake.Port()) + ": no answer to READ? within 0.3 s");

    TMeter meter(loop);
    meter.timeoutMs = 200;
    EXPECT_FALSE(meter.Open(Local(fake.Port()), error));
    EXPECT_TRUE(Has(error, "meter at tcp:127.0.0.1:" + std::to_string(fake.Port()) + ": no answer to *IDN? within 0.2 s"))
        << error;

    // A command with a line end inside would be two commands.
    EXPECT_FALSE(port.Send("READ?\n*RST", error));
    EXPECT_TRUE(Has(error, "line end or control character")) << error;
}

// An answer that comes after its query timed out is not the next query's.
TEST(ScpiPort, LateAnswerIsNotTakenForTheNextQuery)
{
    TScript script;
    TFakeScpi fake(script.Handler());
    TEventLoop loop;
    TScpiPort port(loop);
    std::string error;
    ASSERT_TRUE(port.Open(Local(fake.Port()), 3000, error)) << error;

    // Already waiting on the socket when the next query goes out.
    EXPECT_FALSE(port.Query("READ?", 200, error));
    fake.SendNow("+1.0E-03\n");
    script.Add("READ?", "+2.0E-03\n");
    auto answer = port.Query("READ?", 3000, error);
    ASSERT_TRUE(answer) << error;
    EXPECT_EQ(*answer, "+2.0E-03");

    // Still on its way when the next query is asked for: the line is let
    // settle first. Margins: 500 ms on each side of the late answer.
    port.settleMs = 1500;
    TFakeScpi slow([n = 0](const std::string &line) mutable {
        TFakeReply reply;
        if (line == "READ?")
            reply = ++n == 1 ? TFakeReply{"+3.0E-03\n", 700, false} : TFakeReply{"+4.0E-03\n", 0, false};
        return reply;
    });
    ASSERT_TRUE(port.Open(Local(slow.Port()), 3000, error)) << error;
    EXPECT_FALSE(port.Query("READ?", 200, error));
    answer = port.Query("READ?", 3000, error);
    ASSERT_TRUE(answer) << error;
    EXPECT_EQ(*answer, "+4.0E-03");

    // An extra line nobody asked for is not the next answer either.
    script.Add("CONF:CURR:DC", "spurious\n");
    ASSERT_TRUE(port.Open(Local(fake.Port()), 3000, error)) << error;
    ASSERT_TRUE(port.Send("CONF:CURR:DC", error)) << error;
    ASSERT_TRUE(fake.WaitFor("CONF:CURR:DC"));
    script.Add("READ?", "+5.0E-03\n");
    answer = port.Query("READ?", 3000, error);
    ASSERT_TRUE(answer) << error;
    EXPECT_EQ(*answer, "+5.0E-03");
}

TEST(ScpiPort, ClosedAndRefusedConnectionsSayWhat)
{
    TFakeScpi fake([](const std::string &line) {
        TFakeReply reply;
        if (line == "*IDN?")
            reply.bytes = std::string(kIdn) + "\n";
        reply.hangUp = line == "READ?";
        return reply;
    });
    TEventLoop loop;
    TMeter meter(loop);
    std::string error;
    ASSERT_TRUE(meter.Open(Local(fake.Port()), error)) << error;
    EXPECT_FALSE(meter.ReadMilliAmps(error));
    EXPECT_TRUE(Has(error, "the connection closed before the answer to READ? (the instrument closed the connection)"))
        << error;
    EXPECT_FALSE(meter.ReadMilliAmps(error));
    EXPECT_TRUE(Has(error, "not connected; open it again")) << error;

    // A port nobody listens on.
    TScpiPort port(loop);
    EXPECT_FALSE(port.Open(Local(UnusedPort()), 3000, error));
    EXPECT_TRUE(Has(error, "cannot connect: ")) << error;
    EXPECT_TRUE(Has(error, "listens on this address and port")) << error;
    EXPECT_FALSE(port.IsOpen());
}

TEST(PressureController, UnitSetPointControlAndReading)
{
    TScript script;
    TFakeScpi fake(script.Handler());
    TEventLoop loop;
    TPressureController controller(loop);
    std::string error;
    ASSERT_TRUE(controller.Open(Local(fake.Port()), error)) << error;
    EXPECT_EQ(controller.Identity().text, kIdn);

    script.Add(":UNIT:PRES?", "KPA\n");
    EXPECT_TRUE(controller.UseUnit("kPa", error)) << error;
    EXPECT_TRUE(fake.WaitFor(":UNIT:PRES KPA"));
    script.Add(":UNIT:PRES?", "PA\n");
    EXPECT_FALSE(controller.UseUnit("KPA", error));
    EXPECT_TRUE(Has(error, "asked for KPA, it keeps \"PA\"")) << error;
    const auto sent = fake.Received().size();
    EXPECT_FALSE(controller.UseUnit("CEL", error));
    EXPECT_TRUE(Has(error, "\"CEL\" is not a pressure unit; use PA or KPA")) << error;

    EXPECT_TRUE(controller.SetPoint(101.325, error)) << error;
    EXPECT_TRUE(controller.ControlOn(error)) << error;
    EXPECT_FALSE(controller.SetPoint(std::nan(""), error));

    const std::pair<const char *, TPressureReading> readings[] = {
        {"101.3249,1\n", {101.3249, true}}, {"+9.5E+01,0\r\n", {95.0, false}}, {"-0.5, 1\n", {-0.5, true}}};
    for (const auto &[answer, expected] : readings) {
        script.Add(":SENS:PRES:INL?", answer);
        const auto reading = controller.Read(error);
        ASSERT_TRUE(reading) << answer << error;
        EXPECT_DOUBLE_EQ(reading->value, expected.value);
        EXPECT_EQ(reading->inLimits, expected.inLimits);
    }
    for (const char *answer : {"101.3\n", "101.3,2\n", "101.3,1,0\n", "x,1\n", "9.9E37X,1\n", "101.3,\n"}) {
        script.Add(":SENS:PRES:INL?", answer);
        EXPECT_FALSE(controller.Read(error)) << answer;
        EXPECT_TRUE(Has(error, "check the controller's command set")) << error;
    }

    // What went out, in order, and no unit command for the refused unit.
    const auto received = fake.Received();
    EXPECT_EQ(std::count(received.begin() + static_cast<long>(sent), received.end(), ":UNIT:PRES CEL"), 0);
    EXPECT_NE(std::find(received.begin(), received.end(), ":SOUR:PRES 101.325"), received.end());
    EXPECT_NE(std::find(received.begin(), received.end(), ":OUTP:STAT ON"), received.end());

    // Closing turns control off first.
    controller.Close();
    EXPECT_TRUE(fake.WaitFor(":OUTP:STAT OFF"));
}

#if !defined(_WIN32)
// The serial path: the instrument's own link on a pseudo-terminal.
TEST(Meter, ReadsOverASerialLine)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    char name[128];
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    ASSERT_EQ(::ptsname_r(master, name, sizeof name), 0);
    TFakeScpi fake(master, [n = 0](const std::string &line) mutable {
        TFakeReply reply;
        if (line == "*IDN?")
            reply.bytes = std::string(kIdn) + "\r\n";
        else if (line == "MEAS:CURR:DC?" && ++n == 1)
            reply.bytes = "+1.99999E-02\n";
        else
            reply.hangUp = true; // the second reading: the line goes away
        return reply;
    });

    TEventLoop loop;
    TMeter meter(loop, TMeterCommands{"", "MEAS:CURR:DC?"});
    std::string error;
    std::string text = std::string("serial:") + name + ":9600";
    const auto address = ParseScpiAddress(text, error);
    ASSERT_TRUE(address) << error;
    ASSERT_TRUE(meter.Open(*address, error)) << error;
    EXPECT_EQ(meter.Identity().text, kIdn);
    const auto value = meter.ReadMilliAmps(error);
    ASSERT_TRUE(value) << error;
    EXPECT_NEAR(*value, 19.9999, 1e-9);

    // The line goes away under the query.
    EXPECT_FALSE(meter.ReadMilliAmps(error));
    EXPECT_TRUE(Has(error, "meter at " + text + ": the connection closed before the answer to MEAS:CURR:DC?")) << error;
}

#endif

} // namespace
