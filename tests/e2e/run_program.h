#pragma once
// Running the built dornick as a user would, through pipes, and looking at what it left behind.

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace e2e {

struct RunResult {
    std::string out_bytes; ///< standard output as received (UTF-16LE, CR LF, unless asked otherwise)
    std::string err_bytes; ///< standard error as received
    int exit_code = -1;
    std::u16string Out() const; ///< standard output decoded, CR LF turned back into LF
    std::u16string Err() const;
};

/// Runs `program` through pipes with the arguments; `env` entries ("NAME=value") are added to the
/// environment. Unless `env` names them, DORNICK_OUTPUT_ENCODING=UTF-16LE and LC_ALL=ja_JP.UTF-8
/// ask for the designed form. Standard input holds `input`.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::string>& env = {}, const std::string& cwd = {},
                     const std::string& input = {});
/// Runs the built dornick.
inline RunResult RunDornick(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                            const std::string& cwd = {}) {
    return RunProgram(DORNICK_PATH, args, env, cwd);
}

/// The same through a pseudo-terminal: standard output and standard error are one terminal, whose
/// bytes are returned in out_bytes (the terminal turns LF into CR LF).
RunResult RunOnTerminal(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                        const std::string& cwd = {});

/// UTF-16LE bytes as a pipe receives them, CR LF turned back into LF.
std::u16string DecodePipe(const std::string& bytes);
/// The bytes a pipe receives for a text (UTF-16LE, every LF as CR LF).
std::string PipeBytes(std::u16string_view text);
/// UTF-8 to UTF-16, for building expectations.
std::u16string U(const std::string& utf8);

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
/// Every file and folder below `root`, relative, sorted; folders end with "/".
std::vector<std::string> ListTree(const std::string& root);

/// A fresh folder under /tmp for one test, removed afterwards.
class TempDir : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::string Path(const std::string& relative) const { return root + "/" + relative; }
    std::string root;
};

} // namespace e2e
