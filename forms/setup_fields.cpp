#include "forms/setup_fields.h"

#include <QRegularExpression>

namespace vornel {

namespace {

// A decimal whole number as typed: digits, with a minus sign in front of a negative one.
bool isDecimal(const QString& text) {
    static const QRegularExpression decimal(QStringLiteral("^-?[0-9]+$"));
    return decimal.match(text).hasMatch();
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
