#include <gtest/gtest.h>

#include <cstring>

#include "console/header/icu_retry.h"
#include "platform/console.h"

namespace dornick {
namespace {

constexpr char16_t kMessage[] = u"uconvconvert(ucnv_open)内でエラーが発生しました。 : %hs\n再起動中...\n";

// Shortens the policy for one test.
class RetryPolicyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = CurrentIcuRetryPolicy();
        CurrentIcuRetryPolicy() = IcuRetryPolicy{5, std::chrono::milliseconds(0)};
    }
    void TearDown() override { CurrentIcuRetryPolicy() = saved_; }

  private:
    IcuRetryPolicy saved_;
};

std::string Messages(int count, const char* status) {
    std::string bytes;
    const std::u16string text = u"uconvconvert(ucnv_open)内でエラーが発生しました。 : " +
                                std::u16string(status, status + std::strlen(status)) + u"\n再起動中...\n";
    for (int i = 0; i < count; ++i)
        bytes += platform::EncodeForPipe(text);
    return bytes;
}

TEST_F(RetryPolicyTest, APassingFailureIsRetriedWithAMessageEachTime) {
    int calls = 0;
    ::testing::internal::CaptureStderr();
    const UErrorCode status = RetryIcuCall(kMessage, [&](UErrorCode& s) {
        if (++calls < 3) s = U_MEMORY_ALLOCATION_ERROR;
    });
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), Messages(2, "U_MEMORY_ALLOCATION_ERROR"));
    EXPECT_EQ(status, U_ZERO_ERROR);
    EXPECT_EQ(calls, 3);
}

TEST_F(RetryPolicyTest, GivesUpAfterTheLastAttempt) {
    int calls = 0;
    ::testing::internal::CaptureStderr();
    const UErrorCode status = RetryIcuCall(kMessage, [&](UErrorCode& s) {
        ++calls;
        s = U_MEMORY_ALLOCATION_ERROR;
    });
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), Messages(5, "U_MEMORY_ALLOCATION_ERROR"));
    EXPECT_EQ(status, U_MEMORY_ALLOCATION_ERROR);
    EXPECT_EQ(calls, 5);
}

TEST_F(RetryPolicyTest, LastingFailuresAndWarningsAreNotRetried) {
    for (UErrorCode returned :
         {U_FILE_ACCESS_ERROR, U_ILLEGAL_ARGUMENT_ERROR, U_BUFFER_OVERFLOW_ERROR, U_INVALID_CHAR_FOUND,
          U_AMBIGUOUS_ALIAS_WARNING, U_MISSING_RESOURCE_ERROR, U_INVALID_TABLE_FORMAT, U_INVALID_FORMAT_ERROR,
          U_ILLEGAL_ESCAPE_SEQUENCE, U_UNSUPPORTED_ESCAPE_SEQUENCE, U_INTERNAL_PROGRAM_ERROR}) {
        SCOPED_TRACE(u_errorName(returned));
        int calls = 0;
        ::testing::internal::CaptureStderr();
        const UErrorCode status = RetryIcuCall(kMessage, [&](UErrorCode& s) {
            ++calls;
            s = returned;
        });
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(status, returned);
        EXPECT_EQ(calls, 1);
    }
}

} // namespace
} // namespace dornick
