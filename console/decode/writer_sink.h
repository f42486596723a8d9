#pragma once
// The sink that hands decoded bytes to the asynchronous writer of the current output file.

#include "console/decode/byte_sink.h"
#include "platform/async_writer.h"

namespace dornick {

struct WriterSink final : ByteSink {
    platform::AsyncWriter& writer;

    explicit WriterSink(platform::AsyncWriter& w) : writer(w) {}

    [[nodiscard]] SinkResult Append(const uint8_t* data, size_t size) override {
        switch (writer.Append(data, size)) {
        case platform::WriteStatus::Ok:
            return SinkResult::Ok;
        case platform::WriteStatus::NoMemory:
            return SinkResult::NoMemory;
        case platform::WriteStatus::Failed:
            break;
        }
        return SinkResult::WriteFailed;
    }
};

} // namespace dornick
