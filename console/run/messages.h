#pragma once
// The one channel for what the console program says: the two console streams and the per-mail log.
//
// Call sites pass the designed Japanese texts. Under a language other than Japanese each text is
// replaced by its English row of the message table before it is formatted, so that every message
// reaches the user in one language.

#include <initializer_list>
#include <string_view>

#include "platform/console.h"
#include "platform/format.h"

namespace dornick {

enum class Language { Japanese, English };

/// The language of the messages: DORNICK_MESSAGES ("ja" or "en", set by the front end for its
/// children) when given, else Japanese for a locale whose first set variable of LC_ALL,
/// LC_MESSAGES and LANG names the language "ja", English for every other locale.
Language LanguageFromEnvironment(const char* dornick_messages, const char* lc_all, const char* lc_messages,
                                 const char* lang);
/// What a run says its messages with: their language. The console streams themselves are the
/// process's. A run owns one and binds it to the thread that works for it; a thread that has none
/// bound uses a channel of its own.
struct MessageChannel {
    Language language = Language::Japanese;
};

/// Makes `channel` the one the messages of this thread go through while it lasts; the channel bound
/// before is bound again when it goes.
class MessageChannelInUse {
  public:
    explicit MessageChannelInUse(MessageChannel& channel);
    ~MessageChannelInUse();
    MessageChannelInUse(const MessageChannelInUse&) = delete;
    MessageChannelInUse& operator=(const MessageChannelInUse&) = delete;

  private:
    MessageChannel* previous_;
};

/// Sets the language of the channel in use; Japanese until the entry sets it.
void SetMessageLanguage(Language language);
Language MessageLanguage();

/// The text of a designed message in the channel's language (the text itself in Japanese, and
/// also when the table has no row for it).
std::u16string_view Localize(std::u16string_view japanese);

/// A text from a mail (an address, the mail's own file name) as messages and the log show it:
/// controls and bidi characters, which could drive a terminal or turn the line around, become "?".
std::u16string ShownText(std::u16string_view text);

/// Out of descriptors (EMFILE, ENFILE) a folder that is there cannot be opened: says so on standard
/// error with the folder, and true. False, and nothing said, for any other `error`.
bool ReportOutOfDescriptors(int error, std::u16string_view folder);

/// Formats and writes a message to standard output.
void PrintOut(std::u16string_view format, std::initializer_list<platform::FormatArg> args = {});
/// Formats and writes a message to standard error.
void PrintErr(std::u16string_view format, std::initializer_list<platform::FormatArg> args = {});

} // namespace dornick
