#include "forms/setup_fields.h"

#include <algorithm>

namespace vornel {

namespace {

// A decimal whole number as typed: digits, with a minus sign in front of a negative one. (Not
// a regular expression: compiling one maps and touches some 370 KiB of the library behind it.)
bool isDecimal(const QString& text) {
    const qsizetype digits = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    return text.size() > digits && std::all_of(text.cbegin() + digits, text.cend(), [](QChar c) {
               return c >= QLatin1Char('0') && c <= QLatin1Char('9');
           });
}

}  // namespace

std::optional<PortField> readPortField(const QString& text) {
    const QString trimmed = text.trimmed();
#ifndef Q_OS_WIN
    if (trimmed.startsWith(QLatin1Char('/'))) {
        return PortField{0, trimmed.toStdString()};
    }
#endif
    bool ok = false;
    const int number = trimmed.toInt(&ok, 10);
    if (!isDecimal(trimmed) || !ok || number < 0 || number > 255) {
        return std::nullopt;
    }
    return PortField{static_cast<std::uint8_t>(number), {}};
}

std::optional<std::int32_t> readBaudField(const QString& text) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    const int value = trimmed.toInt(&ok, 10);
    if (!isDecimal(trimmed) || !ok || value < kLowestSpeed) {
        return std::nullopt;
    }
    return value;
}

}  // namespace vornel
