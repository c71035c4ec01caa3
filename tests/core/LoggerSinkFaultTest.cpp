#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "orvanerfid/core/Logger.h"
#include "support/TestSupport.h"

namespace orvane {
namespace {

// Throws on every record: first a std::exception, then something that is none.
class ThrowingSink : public orvLoggerDelegate {
  public:
    void logEvent(const LogEventArg&) override {
        if (++calls % 2 == 1) throw std::runtime_error("sink failed");
        throw 42;
    }
    int calls = 0;
};

// Logs from its destructor, as the library's trace scopes do on every exit.
struct LogsOnDestruction {
    ~LogsOnDestruction() { orvLogger::trace("Scope", "--- done"); }
};

TEST(LoggerSinkFault, AThrowingSinkNeverReachesTheWriter) {
    const test::ConsoleOff console;
    orvLogger::setLevel(LogLevel::trace);
    auto sink = std::make_shared<ThrowingSink>();
    ASSERT_TRUE(orvLogger::registerDelegateIfNone(sink));
    EXPECT_NO_THROW(orvLogger::error("T", "one"));
    EXPECT_NO_THROW(orvLogger::info("two"));
    // A destructor that logs while an exception unwinds would end the process otherwise.
    EXPECT_THROW(
        {
            LogsOnDestruction scope;
            throw std::logic_error("unwinding");
        },
        std::logic_error);
    EXPECT_EQ(sink->calls, 3);
}

}  // namespace
}  // namespace orvane
