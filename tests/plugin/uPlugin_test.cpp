#include "uPlugin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BasicFn.h"

namespace pallix {
namespace {

// A scripted host: what it announces, what it writes and which status each call returns.
struct FakeHost {
  std::int32_t announced = 0;
  std::string written;
  std::int32_t lengthStatus = 0;
  std::int32_t fetchStatus = 0;
  struct Call {
    std::int32_t mode;
    std::string request;
    bool answerNull;
    std::int32_t answerLength;
  };
  std::vector<Call> calls;
};
FakeHost* gHost = nullptr;

std::int32_t PALLIX_STDCALL FakeCallback(HostCallbackRecord* r) {
  gHost->calls.push_back({r->Mode, r->Request, r->Answer == nullptr, r->AnswerLength});
  if (r->Mode == 0) {
    r->AnswerLength = gHost->announced;
    return gHost->lengthStatus;
  }
  gHost->written.copy(r->Answer, gHost->written.size());
  return gHost->fetchStatus;
}

class ChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gHost = &host;
    SetHostCallback(&FakeCallback);
  }
  void TearDown() override { SetHostCallback(nullptr); }
  FakeHost host;
};

TEST_F(ChannelTest, TwoCallsWithTheSameRequest) {
  host.announced = 5;
  host.written = "<a />";
  EXPECT_EQ(SendHostRequest("req"), "<a />");
  ASSERT_EQ(host.calls.size(), 2u);
  EXPECT_EQ(host.calls[0].mode, 0);
  EXPECT_TRUE(host.calls[0].answerNull);
  EXPECT_EQ(host.calls[0].answerLength, 0);
  EXPECT_EQ(host.calls[1].mode, 1);
  EXPECT_FALSE(host.calls[1].answerNull);
  EXPECT_EQ(host.calls[1].answerLength, 5);
  EXPECT_EQ(host.calls[0].request, "req");
  EXPECT_EQ(host.calls[1].request, "req");
}

TEST_F(ChannelTest, LengthZeroStillFetchesIntoAnEmptyText) {
  host.announced = 0;
  EXPECT_EQ(SendHostRequest("r"), "");
  ASSERT_EQ(host.calls.size(), 2u);
  EXPECT_FALSE(host.calls[1].answerNull);
}

TEST_F(ChannelTest, ShortWriteLeavesZeroBytesThatTrimmingRemoves) {
  host.announced = 12;
  host.written = "0123456789";
  std::string answer = SendHostRequest("r");
  EXPECT_EQ(answer, std::string("0123456789\0\0", 12));
  TrimAnswer(answer);
  EXPECT_EQ(answer, "0123456789");
}

TEST_F(ChannelTest, ErrorStatusStopsTheExchange) {
  struct Case {
    std::int32_t lengthStatus, fetchStatus;
    std::size_t calls;
    const char* message;
  };
  for (const Case& c : {Case{7, 0, 1, "Korvel callback returned error code 7"},
                        Case{-3, 0, 1, "Korvel callback returned error code -3"},
                        Case{0, 9, 2, "Korvel callback returned error code 9"}}) {
    host = FakeHost{};
    host.lengthStatus = c.lengthStatus;
    host.fetchStatus = c.fetchStatus;
    try {
      SendHostRequest("r");
      ADD_FAILURE() << "no error for " << c.message;
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(host.calls.size(), c.calls);
  }
}

TEST(TrimAnswer, RemovesControlsAndBlanksAtBothEnds) {
  std::string s = std::string("\r\n \t<a>x y</a>\0 \n", 17);
  TrimAnswer(s);
  EXPECT_EQ(s, "<a>x y</a>");
  std::string blank = " \r\n";
  TrimAnswer(blank);
  EXPECT_EQ(blank, "");
}

}  // namespace
}  // namespace pallix
