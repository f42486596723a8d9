// Mail archives as input: every message of an mbox (quoted, unquoted, CR LF), of a Maildir++ tree
// and of an MH folder gives the same output tree as the same messages saved alone as ".eml" files.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include "mail_builder.h"
#include "run_program.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

// The fixture mails and one of our own whose text holds lines that look like separators.
std::vector<std::string> Mails() {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(DORNICK_MAIL_FIXTURES))
        if (entry.path().extension() == ".eml") names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    std::vector<std::string> mails;
    for (const std::string& name : names)
        mails.push_back(ReadFile(name));
    const Part text{{"Content-Type: text/plain; charset=UTF-8"},
                    "Minutes\r\n\r\nFrom the chair\r\nX-Looks-Like: a field\r\n\r\n>From quoted\r\n"};
    mails.push_back(
        MultipartMail(TopHeader("hanako@example.jp"), "b1",
                      {text, Base64Part("application/octet-stream", "minutes.bin", NoiseBytes(3000))}));
    return mails;
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out.push_back('\r');
        out.push_back(text[i]);
    }
    return out;
}

// Every line that is ">" repeated and then "From " gets one more ">".
std::string Quoted(const std::string& mail) {
    std::string out;
    size_t line = 0;
    while (line < mail.size()) {
        size_t end = mail.find('\n', line);
        end = end == std::string::npos ? mail.size() : end + 1;
        const size_t text = mail.find_first_not_of('>', line);
        if (text != std::string::npos && mail.compare(text, 5, "From ") == 0) out.push_back('>');
        out.append(mail, line, end - line);
        line = end;
    }
    return out;
}

enum class Form { Quoted, Unquoted, CrLf };

std::string Mbox(const std::vector<std::string>& mails, Form form) {
    std::string mbox;
    const std::string end = form == Form::CrLf ? "\r\n" : "\n";
    for (const std::string& mail : mails) {
        mbox += "From MAILER-DAEMON Wed Dec  9 10:00:00 2026" + end;
        mbox += form == Form::Unquoted ? mail : Quoted(mail);
        mbox += end;
    }
    return mbox;
}

class ArchiveInput : public TempDir {
  protected:
    // Every file below `folder` with its bytes (folders with none).
    std::map<std::string, std::string> Output(const std::string& folder) const {
        std::map<std::string, std::string> files;
        for (const std::string& entry : ListTree(Path(folder)))
            files[entry] = entry.back() == '/' ? "" : ReadFile(Path(folder + "/" + entry));
        return files;
    }
    // The tree of the mails saved alone, each as an ".eml" file.
    std::map<std::string, std::string> AsFiles(const std::vector<std::string>& mails) {
        std::vector<std::string> args = {"/O", Path("files-out")};
        fs::create_directories(Path("files"));
        for (size_t i = 0; i < mails.size(); ++i) {
            const std::string path = Path("files/" + std::to_string(100 + i) + ".eml");
            WriteFile(path, mails[i]);
            args.push_back(path);
        }
        EXPECT_EQ(RunDornick(args).exit_code, 0);
        return Output("files-out");
    }
    std::map<std::string, std::string> Extract(const std::string& input, const std::string& out) {
        RunResult r = RunDornick({"/O", Path(out), Path(input)});
        EXPECT_EQ(r.exit_code, 0) << input;
        EXPECT_EQ(r.Err(), u"") << input;
        return Output(out);
    }
};

TEST_F(ArchiveInput, MboxGivesWhatTheFilesGive) {
    const std::vector<std::string> mails = Mails();
    const std::map<std::string, std::string> expected = AsFiles(mails);
    ASSERT_GT(expected.size(), mails.size());
    for (Form form : {Form::Quoted, Form::Unquoted, Form::CrLf}) {
        const std::string name = form == Form::Quoted     ? "quoted"
                                 : form == Form::Unquoted ? "unquoted"
                                                          : "crlf";
        SCOPED_TRACE(name);
        // Our own mail's separator-like lines need the quotes: the unquoted form holds the others only.
        std::vector<std::string> held = mails;
        if (form == Form::Unquoted) held.pop_back();
        if (form == Form::CrLf)
            for (std::string& mail : held)
                mail = WithCrLf(mail);
        WriteFile(Path(name), Mbox(held, form)); // no extension, as mail readers keep them
        const std::map<std::string, std::string> got = Extract(name, name + "-out");
        if (form == Form::Quoted) {
            EXPECT_EQ(got, expected);
        } else {
            fs::remove_all(Path("files"));
            fs::remove_all(Path("files-out"));
            EXPECT_EQ(got, AsFiles(held));
        }
    }
}

TEST_F(ArchiveInput, MaildirAndMhGiveWhatTheFilesGive) {
    const std::vector<std::string> mails = Mails();
    const std::map<std::string, std::string> expected = AsFiles(mails);
    // Maildir++: the first mails in new/ and cur/ by turns, the rest in a subfolder, so that the
    // order by name is the order of the mails; tmp/ and the server's files hold no mail.
    for (const char* folder : {"Mail/cur", "Mail/new", "Mail/tmp", "Mail/.Lists/cur", "Mail/.Lists/new"})
        fs::create_directories(Path(folder));
    const size_t in_root = mails.size() - 3;
    for (size_t i = 0; i < mails.size(); ++i) {
        const std::string base = std::to_string(1700000000 + i) + ".M" + std::to_string(i) + "P1.host";
        std::string folder = i < in_root ? (i % 2 ? "Mail/cur/" : "Mail/new/") : "Mail/.Lists/cur/";
        WriteFile(Path(folder + base + (folder.ends_with("cur/") ? ":2,S" : "")), mails[i]);
    }
    WriteFile(Path("Mail/tmp/1800000000.M0P1.host"), mails[0]);
    WriteFile(Path("Mail/dovecot-uidlist"), "3 V1 N4\n");
    WriteFile(Path("Mail/.Lists/maildirfolder"), "");
    ASSERT_EQ(::mkfifo(Path("Mail/cur/fifo").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("/", Path("Mail/cur/root").c_str()), 0);
    EXPECT_EQ(Extract("Mail", "maildir-out"), expected);

    fs::create_directories(Path("mh"));
    for (size_t i = 0; i < mails.size(); ++i)
        WriteFile(Path("mh/" + std::to_string(i + 1)), mails[i]);
    WriteFile(Path("mh/.mh_sequences"), "unseen: 1\n");
    EXPECT_EQ(Extract("mh", "mh-out"), expected);
}

// The real single messages that begin with an envelope line give what they give without it.
TEST_F(ArchiveInput, EnvelopeLineOfAnEmlIsPassedOver) {
    const std::string corpus = std::string(DORNICK_CORPUS_DIR) + "/zeta-mail";
    size_t compared = 0;
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(corpus))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string mail = ReadFile(corpus + "/" + name);
        if (mail.compare(0, 5, "From ") != 0) continue;
        SCOPED_TRACE(name);
        const size_t line_end = mail.find('\n');
        WriteFile(Path("bare.eml"), line_end == std::string::npos ? "" : mail.substr(line_end + 1));
        RunResult with = RunDornick({"/O", Path("with-" + name), corpus + "/" + name});
        RunResult without = RunDornick({"/O", Path("without-" + name), Path("bare.eml")});
        EXPECT_EQ(with.exit_code, without.exit_code);
        EXPECT_EQ(Output("with-" + name), Output("without-" + name));
        ++compared;
    }
    EXPECT_EQ(compared, 20u);
}

// The real mbox files: each message once, none lost, and the run says nothing is wrong.
TEST_F(ArchiveInput, CorpusMboxFiles) {
    const std::string corpus = std::string(DORNICK_CORPUS_DIR) + "/mbox/zeta-mail";
    for (const fs::directory_entry& entry : fs::directory_iterator(corpus)) {
        SCOPED_TRACE(entry.path().filename().string());
        RunResult r = RunDornick({"/P", "/O", Path("out"), entry.path().string()});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.Err(), u"");
    }
}

TEST_F(ArchiveInput, StandardInputHoldingAnMbox) {
    const std::vector<std::string> mails = Mails();
    const std::map<std::string, std::string> expected = AsFiles(mails);
    RunResult r = RunProgram(DORNICK_PATH, {"/O", Path("stdin-out"), "-"}, {}, {}, Mbox(mails, Form::Quoted));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(Output("stdin-out"), expected);
}

// Date mode works on the messages kept one per file and leaves an mbox alone, with one notice.
TEST_F(ArchiveInput, DateModeOnArchives) {
    constexpr time_t kUntouched = 1000000000;
    constexpr time_t kMailTime = 1483405500; // Tue, 3 Jan 2017 10:05:00 +0900, the builder's date
    const std::string mail =
        MultipartMail(TopHeader(), "b1", {Base64Part("application/pdf", "a.pdf", "data")});
    fs::create_directories(Path("Mail/cur"));
    fs::create_directories(Path("Mail/new"));
    fs::create_directories(Path("mh"));
    const std::vector<std::string> files = {"Mail/cur/1.M1.host:2,S", "mh/1", "message.emlx", "Inbox"};
    WriteFile(Path(files[0]), mail);
    WriteFile(Path(files[1]), mail);
    WriteFile(Path(files[2]),
              std::to_string(mail.size()) + "\n" + mail + "<?xml version=\"1.0\"?>\n<plist/>\n");
    WriteFile(Path(files[3]), "From a Wed Dec  9 10:00:00 2026\n" + mail);
    for (const std::string& file : files) {
        const utimbuf old{kUntouched, kUntouched};
        ::utime(Path(file).c_str(), &old);
    }
    RunResult r = RunDornick({"/DM", "/P", Path("Mail"), Path("mh"), Path("message.emlx"), Path("Inbox")},
                             {"LC_ALL=en_US.UTF-8"});
    EXPECT_EQ(r.exit_code, 0);
    const std::u16string said = r.Out();
    EXPECT_NE(said.find(u"The times of an mbox file are left unchanged.\n->" + U(Path("Inbox"))),
              std::u16string::npos)
        << r.out_bytes.size();
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i]);
        struct stat info {};
        ASSERT_EQ(::stat(Path(files[i]).c_str(), &info), 0);
        EXPECT_EQ(info.st_mtime, i + 1 < files.size() ? kMailTime : kUntouched);
    }
}

// Bad input: each gives its message, or none where nothing is wrong, and the run goes on to the
// last argument, whose attachment is written.
TEST_F(ArchiveInput, BadInputLetsTheRunGoOn) {
    const std::string good =
        MultipartMail(TopHeader(), "b1", {Base64Part("application/pdf", "last.pdf", "data")});
    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += "From x\nS: " + std::to_string(i) + "\n\n";
    // A message longer than the most one may take (a quarter of the machine's memory), between two
    // good ones: a hole in a sparse file, whose Content-Length spares the splitter reading it.
    const std::string first_data = NoiseBytes(5000, 2);
    const std::string third_data = NoiseBytes(7000, 3);
    const std::string before_huge =
        Mbox({MultipartMail(TopHeader(), "b1", {Base64Part("application/pdf", "first.pdf", first_data)})},
             Form::Quoted);
    const uint64_t memory =
        static_cast<uint64_t>(::sysconf(_SC_PHYS_PAGES)) * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    const uint64_t huge = memory / 4 + 1;
    const std::string huge_head = "From b\nContent-Length: " + std::to_string(huge) + "\n\n";
    const std::string after_huge =
        "\n\n" +
        Mbox({MultipartMail(TopHeader(), "b1", {Base64Part("application/pdf", "third.pdf", third_data)})},
             Form::Quoted);
    struct Row {
        const char* name;
        std::string archive;
        int exit_code;
        std::string message; ///< part of standard error, empty for none
        uint64_t hole = 0;   ///< zero bytes after `archive`, kept sparse
        std::string after_hole = {};
        std::vector<std::pair<std::string, std::string>> extracted = {}; ///< of the archive, by name
    } rows[] = {
        {"binary body", "From a\nS: 1\n\n" + std::string("\0\xff\x01\x80\n\0\0", 7) + NoiseBytes(100000), 0,
         ""},
        {"long line without line end", "From a\nS: 1\n\n" + std::string(20 << 20, 'x'), 0, ""},
        {"content length of 2^63", "From a\nContent-Length: 9223372036854775808\n\nx\n", 0, ""},
        {"empty messages", "From a\n\nFrom c\nS: 3\n\n", 0, "Skipped an empty message."},
        {"100,000 messages", many, 0, ""},
        {"malformed emlx", "", 1, "The .emlx file is not well formed."},
        {"message too large among good ones",
         before_huge + huge_head,
         1,
         "Could not read the message.\n->" + Path("archive") + " (message 2, byte " +
             std::to_string(before_huge.size()) + ")\n",
         huge - 1,
         after_huge,
         {{"first.pdf", first_data}, {"third.pdf", third_data}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const bool emlx = std::string(row.name) == "malformed emlx";
        const std::string input = emlx ? "bad.emlx" : "archive";
        WriteFile(Path(input), emlx ? std::string("Subject: no count\n\n") : row.archive);
        if (row.hole > 0) {
            fs::resize_file(Path(input), row.archive.size() + row.hole);
            std::ofstream(Path(input), std::ios::binary | std::ios::app) << row.after_hole;
        }
        WriteFile(Path("last.eml"), good);
        fs::remove_all(Path("out"));
        RunResult r = RunDornick({"/O", Path("out"), Path(input), Path("last.eml")}, {"LC_ALL=en_US.UTF-8"});
        fs::remove(Path(input));
        EXPECT_EQ(r.exit_code, row.exit_code);
        if (!row.message.empty()) {
            EXPECT_NE(DecodePipe(r.err_bytes).find(U(row.message)), std::u16string::npos);
        } else {
            EXPECT_EQ(r.Err(), u"");
        }
        for (const auto& [name, bytes] : row.extracted)
            EXPECT_EQ(ReadFile(Path("out/taro@example.jp/2017-01-03/" + name)), bytes) << name;
        EXPECT_EQ(ReadFile(Path("out/taro@example.jp/2017-01-03/last.pdf")), "data");
    }
}

} // namespace
} // namespace e2e
