// Any text typed into the port and speed fields of "Basic COMM Setup", read as SET reads it, and
// the settings string formed from an accepted speed.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>

#include "capture/line_settings.h"
#include "forms/setup_fields.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// The decimal digits of a field, without a sign or leading zeros, when it is nothing else.
struct Decimal {
    bool valid = false;
    bool negative = false;
    std::string digits;  // "0" for zero
};

Decimal decimalIn(const QString& trimmed) {
    Decimal d;
    const std::string text = trimmed.toStdString();
    std::size_t at = 0;
    if (!text.empty() && text[0] == '-') {
        d.negative = true;
        at = 1;
    }
    if (at == text.size() || text.find_first_not_of("0123456789", at) != std::string::npos) {
        return d;
    }
    const std::size_t first = text.find_first_not_of('0', at);
    d.digits = first == std::string::npos ? "0" : text.substr(first);
    d.valid = true;
    return d;
}

// Whether the digits stand for a number no greater than `highest`.
bool atMost(const std::string& digits, const std::string& highest) {
    return digits.size() < highest.size() || (digits.size() == highest.size() && digits <= highest);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString trimmed = text.trimmed();
    const Decimal decimal = decimalIn(trimmed);

    const auto baud = vornel::readBaudField(text);
    const bool speedExpected = decimal.valid && !decimal.negative && decimal.digits != "0" &&
                               atMost(decimal.digits, "2147483647");
    FUZZ_CHECK(baud.has_value() == speedExpected);
    if (baud) {
        FUZZ_CHECK(std::to_string(*baud) == decimal.digits);
        const auto settings = vornel::parseLineSettings(vornel::settingsStringFor(*baud));
        FUZZ_CHECK(settings && *settings == vornel::LineSettings{*baud});
        // Blanks around it change nothing.
        FUZZ_CHECK(vornel::readBaudField(QStringLiteral(" \t") + text + QStringLiteral(" ")) ==
                   baud);
    }

    const auto port = vornel::readPortField(text);
    if (trimmed.startsWith(QLatin1Char('/'))) {
        FUZZ_CHECK(port && port->number == 0 && port->path == trimmed.toStdString());
        return 0;
    }
    const bool portExpected =
        decimal.valid && (decimal.negative ? decimal.digits == "0" : atMost(decimal.digits, "255"));
    FUZZ_CHECK(port.has_value() == portExpected);
    if (port) {
        FUZZ_CHECK(port->path.empty() && std::to_string(port->number) == decimal.digits);
    }
    return 0;
}
