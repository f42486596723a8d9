#pragma once
// What the top header tells about a mail: its sender, its date and its character set.

#include <string>
#include <string_view>

#include "console/run/mail_state.h"

namespace dornick {

/// The line begins with `prefix`, compared without regard to ASCII case.
bool LineBeginsWith(const char16_t* line, std::u16string_view prefix);
/// The line holds `text` anywhere, compared without regard to ASCII case.
bool LineHolds(const char16_t* line, std::u16string_view text);
/// A line that continues the field before it: it begins with a space or tab, or holds no ":", and
/// is not empty.
bool IsContinuationLine(const char16_t* line);
/// Removes leading and trailing spaces and tabs.
void TrimSpacesAndTabs(std::u16string& text);

/// "Return-Path:": the address becomes the Return-Path address and the sender; with `set_flag` a
/// non-empty one sets ReturnPathFound.
void TakeReturnPath(const char16_t* line, MailFacts& facts, bool set_flag);
/// "From:" met before any Return-Path: the sender, from this line or its continuation lines; a line
/// that ends the search is left pending. Sets ReturnPathFound and FromFound. False when the data ended.
bool TakeFromAsSender(LineSource& source, MailFacts& facts);
/// "From:" met after a Return-Path: the same extraction into the From address; sets FromFound.
bool TakeFromAddress(LineSource& source, MailFacts& facts);
/// "X-Apparently-From:": the address between "X-Apparently-From: <" and ">".
void TakeApparentlyFrom(const char16_t* line, MailFacts& facts);
/// While DateFound is clear: the "Received:" and "Date:" rules. False when the data ended while a
/// Received header was joined.
bool TakeDate(LineSource& source, MailFacts& facts);
/// A line holding "charset" and after it "=" sets the charset (at most 23 units after the "=").
void TakeCharset(const char16_t* line, MailFacts& facts);

} // namespace dornick
