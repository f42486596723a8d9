// The message-file reader over the input as a compound file; every attachment's bytes and name are
// read in full, so that a view reaching past what libgsf handed over is seen by the sanitizers.

#include <cstdint>
#include <string>

#include "console/decode/msg_reader.h"

namespace {

struct TouchingEvents final : dornick::MsgEvents {
    uint64_t sum = 0;
    void OnAttachment(const dornick::MsgAttachment& attachment, std::string_view data) override {
        for (char c : data)
            sum += static_cast<unsigned char>(c);
        for (char c : attachment.name8)
            sum += static_cast<unsigned char>(c);
        for (char16_t c : attachment.unicode_name)
            sum += c;
        sum += static_cast<uint32_t>(attachment.method) + static_cast<uint32_t>(attachment.depth);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    dornick::MsgHeader header;
    TouchingEvents events;
    (void)dornick::ReadMsgFile(data, size, header, events);
    for (char c : header.transport_headers)
        events.sum += static_cast<unsigned char>(c);
    return events.sum == 1 ? 1 : 0;
}
