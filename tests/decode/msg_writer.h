#pragma once
// Builds message files (".msg") for the tests with libgsf's compound-file writer: properties,
// transport headers, attachments and embedded messages as the test describes them.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace msg_test {

struct MsgLayout;

struct AttachmentSpec {
    std::u16string long_unicode;
    std::string long8;
    std::u16string short_unicode;
    std::string short8;
    int32_t method = 1;
    std::string data;
    bool has_data = true;
    std::shared_ptr<MsgLayout> embedded = {}; ///< written as the embedded message (method 5)
};

struct MsgLayout {
    std::u16string smtp_sender;    ///< the sender's SMTP address property
    std::u16string sender_email;   ///< the sender's e-mail address property
    std::string transport_headers; ///< empty: none
    bool headers_in_unicode = true;
    std::optional<int64_t> submit_time;   ///< seconds since 1970
    std::optional<int64_t> delivery_time; ///< seconds since 1970
    std::optional<int32_t> code_page;     ///< the message's code page property
    std::vector<AttachmentSpec> attachments;
};

/// The message file's bytes.
std::string WriteMsg(const MsgLayout& layout);

/// UTF-8 text as UTF-16.
std::u16string Utf16(const std::string& utf8);

/// A message nested `depth` times inside itself, each level with one attachment "level<N>.txt".
std::shared_ptr<MsgLayout> NestedMessage(int depth);

/// Sets the declared size of the stream or storage named `name` (its directory entry) to `size`.
/// False when no entry has that name.
bool SetDeclaredSize(std::string& file, const std::string& name, uint32_t size);

/// How the storages of WriteBareStorages hang together: directly under the root as a balanced
/// sibling tree or as one chain of right siblings, or each inside the one before.
enum class StorageShape { Balanced, Chain, Nested };

/// A compound file of `count` empty storages and nothing else, written byte by byte in 4096-byte
/// sectors (libgsf's writer needs minutes for 100,000). Under the root they are named
/// "__attach_version1.0_#%08X"; nested, "nest".
std::string WriteBareStorages(int count, StorageShape shape);

} // namespace msg_test
