// Every mail in the fixture folder is walked, as stored and with its line ends changed to the
// other form, and the parts the walk writes are compared with the listing beside it:
// "<case>.parts" holds an optional "options: ..." line, an optional "folders: sender/date" line
// (the folders the files go into), then one line per written part,
// "slot<TAB>mode<TAB>name<TAB>bytes" with the bytes escaped (\n \r \t \\ \xNN).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "console/run/part_kinds.h"
#include "platform/text.h"
#include "tests/run/recording_writer.h"

namespace dornick::test {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char c = text[++i];
        if (c == 'n')
            out.push_back('\n');
        else if (c == 'r')
            out.push_back('\r');
        else if (c == 't')
            out.push_back('\t');
        else if (c == 'x' && i + 2 < text.size()) {
            out.push_back(static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
            i += 2;
        } else
            out.push_back(c);
    }
    return out;
}

struct Fixture {
    std::string name;
    std::string mail;
    RunOptions options;
    std::vector<RecordedPart> parts;
    std::optional<std::u16string> folders;
};

RunOptions ParseOptions(std::string_view text) {
    RunOptions options;
    std::istringstream words{std::string(text)};
    for (std::string word; words >> word;) {
        if (word == "/CO")
            options.content_only = true;
        else if (word == "/NI")
            options.no_inline = true;
        else if (word == "/FW" && words >> word)
            options.forward_name = platform::Utf8ToU16(word);
        else
            ADD_FAILURE() << "unknown option in a fixture: " << word;
    }
    return options;
}

Fixture LoadFixture(const fs::path& mail_path) {
    Fixture fixture{mail_path.stem().string(), ReadFile(mail_path), {}, {}, {}};
    std::istringstream listing(ReadFile(fs::path(mail_path).replace_extension(".parts")));
    for (std::string line; std::getline(listing, line);) {
        if (line.rfind("options: ", 0) == 0) {
            fixture.options = ParseOptions(std::string_view(line).substr(9));
            continue;
        }
        if (line.rfind("folders: ", 0) == 0) {
            fixture.folders = platform::Utf8ToU16(line.substr(9));
            continue;
        }
        std::vector<std::string> fields;
        std::istringstream columns(line);
        for (std::string field; std::getline(columns, field, '\t');)
            fields.push_back(field);
        if (fields.size() != 4) {
            ADD_FAILURE() << fixture.name << ": a listing line needs four fields: " << line;
            continue;
        }
        fixture.parts.push_back(
            {fields[0], std::stoi(fields[1]), platform::Utf8ToU16(fields[2]), Unescape(fields[3])});
    }
    return fixture;
}

std::vector<Fixture> LoadFixtures() {
    std::vector<fs::path> mails;
    for (const fs::directory_entry& entry : fs::directory_iterator(DORNICK_MAIL_FIXTURES))
        if (entry.path().extension() == ".eml") mails.push_back(entry.path());
    std::sort(mails.begin(), mails.end());
    std::vector<Fixture> fixtures;
    for (const fs::path& mail : mails)
        fixtures.push_back(LoadFixture(mail));
    return fixtures;
}

// The same mail with CR LF line ends where it had LF, or LF where it had CR LF.
std::string OtherLineEnds(const std::string& text, bool& to_crlf) {
    to_crlf = text.find("\r\n") == std::string::npos;
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (to_crlf && text[i] == '\n')
            out += "\r\n";
        else if (!to_crlf && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        else
            out.push_back(text[i]);
    }
    return out;
}

// Text kept line by line (quoted-printable, the plain copy and the undecoded blocks) keeps each
// line's own line end.
std::string WithLineEnds(const RecordedPart& part, bool crlf) {
    if (!KindOf(static_cast<EncodingMode>(part.mode)).keeps_line_ends) return part.bytes;
    std::string plain;
    for (size_t i = 0; i < part.bytes.size(); ++i)
        if (!(part.bytes[i] == '\r' && i + 1 < part.bytes.size() && part.bytes[i + 1] == '\n'))
            plain.push_back(part.bytes[i]);
    if (!crlf) return plain;
    std::string out;
    for (char c : plain)
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

void ExpectParts(const std::vector<RecordedPart>& got, const std::vector<RecordedPart>& expected, bool crlf) {
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(platform::U16ToUtf8(expected[i].name));
        EXPECT_EQ(got[i].slot, expected[i].slot);
        EXPECT_EQ(got[i].mode, expected[i].mode);
        EXPECT_EQ(got[i].name, expected[i].name);
        EXPECT_EQ(got[i].bytes, WithLineEnds(expected[i], crlf));
    }
}

TEST(WalkFixtures, EveryMailGivesItsListedParts) {
    const std::vector<Fixture> fixtures = LoadFixtures();
    ASSERT_GE(fixtures.size(), 8u);
    for (const Fixture& fixture : fixtures) {
        SCOPED_TRACE(fixture.name);
        const bool stored_crlf = fixture.mail.find("\r\n") != std::string::npos;
        bool other_crlf = false;
        const std::string other = OtherLineEnds(fixture.mail, other_crlf);
        for (const auto& [text, crlf] :
             {std::pair{&fixture.mail, stored_crlf}, std::pair{&other, other_crlf}}) {
            SCOPED_TRACE(crlf ? "as CR LF" : "as LF");
            std::u16string folders;
            ExpectParts(WalkMail(*text, fixture.options, nullptr, &folders), fixture.parts, crlf);
            if (fixture.folders)
                EXPECT_EQ(platform::U16ToUtf8(folders), platform::U16ToUtf8(*fixture.folders));
        }
    }
}

// A mail cut short at every line still walks to an end, and never writes more parts than the
// whole mail has.
TEST(WalkFixtures, TruncatedMailsEndCleanly) {
    for (const Fixture& fixture : LoadFixtures()) {
        SCOPED_TRACE(fixture.name);
        for (size_t cut = fixture.mail.find('\n'); cut != std::string::npos;
             cut = fixture.mail.find('\n', cut + 1)) {
            const std::vector<RecordedPart> parts = WalkMail(fixture.mail.substr(0, cut), fixture.options);
            EXPECT_LE(parts.size(), fixture.parts.size() + 1) << "cut at " << cut;
        }
    }
}

} // namespace
} // namespace dornick::test
