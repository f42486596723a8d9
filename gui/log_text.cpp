#include "gui/log_text.h"

#include <QMutexLocker>

namespace tarnfield {

void Utf16LeCollector::Feed(const char* bytes, qsizetype size, QString& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    const unsigned char* end = p + size;
    auto put = [&out](char16_t unit) {
        if (unit != 0) out.append(QChar(unit));
    };
    if (hasCarry_ && p < end) {
        put(static_cast<char16_t>(carry_ | (*p++ << 8)));
        hasCarry_ = false;
    }
    out.reserve(out.size() + (end - p) / 2);
    for (; end - p >= 2; p += 2)
        put(static_cast<char16_t>(p[0] | (p[1] << 8)));
    if (p < end) {
        carry_ = *p;
        hasCarry_ = true;
    }
}

void LogText::Append(QStringView text) {
    QMutexLocker lock(&mutex_);
    text_.append(text);
}

void LogText::Clear() {
    QMutexLocker lock(&mutex_);
    text_.clear();
}

qsizetype LogText::Size() const {
    QMutexLocker lock(&mutex_);
    return text_.size();
}

QString LogText::Since(qsizetype from) const {
    QMutexLocker lock(&mutex_);
    return text_.mid(from);
}

QString LogText::All() const {
    QMutexLocker lock(&mutex_);
    return text_;
}

} // namespace tarnfield
