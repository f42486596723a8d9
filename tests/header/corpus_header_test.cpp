// Real-world mail from the shared corpus, read as the walk reads it: every Content-Type field goes
// to the boundary reader, every line with a name parameter to the name decoder. Nothing may crash,
// overrun, hang or give a name that does not fit.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "console/header/boundary_charset.h"
#include "console/header/header_search.h"
#include "console/header/name_parameter.h"

namespace dornick {
namespace {

namespace fs = std::filesystem;

struct WalkCounts {
    int names = 0;
    int boundaries = 0;
};

// Reads the parameters of one mail like the walk does.
void ReadHeaders(const std::string& mail, WalkCounts& counts) {
    LineSource source;
    source.Start(reinterpret_cast<const unsigned char*>(mail.data()), mail.size());
    CharsetText charset;
    std::u16string name;
    std::u16string marker;
    // Every pass consumes a line, so this bounds the walk even if the cursor were put back wrongly.
    for (size_t passes = 0; passes <= mail.size() + 1; ++passes) {
        if (!source.Take()) return;
        const std::u16string_view text(source.line);
        if (FindNoCase(text, u"Content-Type:") == 0) {
            const BoundaryParameters found = CollectBoundaryAndCharset(source);
            if (found.charset_found) charset = found.charset;
            if (found.stored) {
                ++counts.boundaries;
                ASSERT_LE(found.marker.size(), 1023u);
                ASSERT_LE(charset.size(), 23u);
                continue;
            }
        }
        const size_t keyword = FindNoCase(text, u"name");
        if (keyword == kNotFound || text.find(u'=', keyword) == kNotFound) continue;
        const size_t after =
            FindNoCase(text, u"filename") != kNotFound ? FindNoCase(text, u"filename") + 8 : keyword + 4;
        size_t star = after;
        while (star < text.size() && IsBlank(text[star]))
            ++star;
        const bool extended = star < text.size() && text[star] == u'*';
        const int result = DecodeNameParameter(HeaderReader{source, charset}, name, extended).status;
        ASSERT_TRUE(result == 0 || result == -1);
        if (result == -1) return;
        ++counts.names;
        ASSERT_LE(name.size(), 255u);
        ASSERT_EQ(name.find(u'\uFFFD'), std::u16string::npos);
        name.clear();
    }
    FAIL() << "the walk did not end";
}

TEST(CorpusHeaders, EveryMailIsReadWithinBounds) {
    const fs::path corpus = DORNICK_CORPUS_DIR;
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    WalkCounts counts;
    int mails = 0;
    ::testing::internal::CaptureStderr(); // overlong names report ICU's overflow
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".eml") continue;
        SCOPED_TRACE(entry.path().string());
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string mail((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ReadHeaders(mail, counts);
        ++mails;
        if (HasFatalFailure()) break;
    }
    ::testing::internal::GetCapturedStderr();
    EXPECT_GT(mails, 50);
    EXPECT_GT(counts.names, 100);
    EXPECT_GT(counts.boundaries, 100);
}

} // namespace
} // namespace dornick
