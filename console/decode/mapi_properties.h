#pragma once
// The MAPI property ids and types read from TNEF containers and message files, and the size of
// one value of each fixed-size type. One table for both readers.

#include <cstdint>

namespace dornick::mapi {

// Types.
constexpr uint16_t kTypeInt16 = 0x0002;
constexpr uint16_t kTypeInt32 = 0x0003;
constexpr uint16_t kTypeFloat = 0x0004;
constexpr uint16_t kTypeDouble = 0x0005;
constexpr uint16_t kTypeCurrency = 0x0006;
constexpr uint16_t kTypeAppTime = 0x0007;
constexpr uint16_t kTypeBoolean = 0x000B;
constexpr uint16_t kTypeObject = 0x000D;
constexpr uint16_t kTypeInt64 = 0x0014;
constexpr uint16_t kTypeString8 = 0x001E;
constexpr uint16_t kTypeUnicode = 0x001F;
constexpr uint16_t kTypeSysTime = 0x0040;
constexpr uint16_t kTypeGuid = 0x0048;
constexpr uint16_t kTypeBinary = 0x0102;
constexpr uint16_t kMultiValued = 0x1000;
/// Ids with this bit are named properties, whose meaning depends on a name map.
constexpr uint16_t kNamedProperty = 0x8000;

// Ids.
constexpr uint16_t kClientSubmitTime = 0x0039;
constexpr uint16_t kTransportHeaders = 0x007D;
constexpr uint16_t kSenderAddressType = 0x0C1E;
constexpr uint16_t kSenderEmailAddress = 0x0C1F;
constexpr uint16_t kDeliveryTime = 0x0E06;
constexpr uint16_t kAttachData = 0x3701;
constexpr uint16_t kAttachFileName = 0x3704;
constexpr uint16_t kAttachMethod = 0x3705;
constexpr uint16_t kAttachLongFileName = 0x3707;
constexpr uint16_t kInternetCodePage = 0x3FDE;
constexpr uint16_t kMessageCodePage = 0x3FFD;
constexpr uint16_t kSenderSmtpAddress = 0x5D01;
constexpr uint16_t kSentRepresentingSmtpAddress = 0x5D02;

/// Attach methods.
constexpr int32_t kAttachEmbeddedMessage = 5;

/// Size of one value of a fixed-size type; 0 for the counted types (object, strings, binary), -1
/// for a type not known.
constexpr int FixedValueSize(uint16_t type) {
    switch (type) {
    case kTypeInt16:
    case kTypeInt32:
    case kTypeFloat:
    case kTypeBoolean:
        return 4;
    case kTypeDouble:
    case kTypeCurrency:
    case kTypeAppTime:
    case kTypeInt64:
    case kTypeSysTime:
        return 8;
    case kTypeGuid:
        return 16;
    case kTypeObject:
    case kTypeString8:
    case kTypeUnicode:
    case kTypeBinary:
        return 0;
    default:
        return -1;
    }
}

} // namespace dornick::mapi
