#include "Telemetry/Adapters/JsonLine.h"

#include "Telemetry/Adapters/DecimalReading.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace JsonLine {

namespace {

struct ThreadParser {
    sj::parser parser;
    std::vector<char> buffer;
};

ThreadParser &threadParser()
{
    thread_local ThreadParser state;
    return state;
}

} // namespace

sj::document parse(QByteArrayView text)
{
    ThreadParser &state = threadParser();
    const std::size_t size = std::size_t(text.size());
    if (state.buffer.size() < size + simdjson::SIMDJSON_PADDING)
        state.buffer.resize(size + simdjson::SIMDJSON_PADDING);
    std::memcpy(state.buffer.data(), text.data(), size);
    return state.parser.iterate(state.buffer.data(), size, state.buffer.size());
}

qint64 count(sj::value value)
{
    switch (value.type()) {
    case sj::json_type::string: {
        const std::string_view digits = value.get_string();
        return DecimalReading::int64(QByteArrayView(digits.data(), qsizetype(digits.size()))).value_or(0);
    }
    case sj::json_type::number:
        switch (value.get_number_type()) {
        case sj::number_type::signed_integer:
            return value.get_int64();
        case sj::number_type::floating_point_number: {
            const double truncated = std::trunc(double(value.get_double()));
            constexpr double limit = 9223372036854775808.0; // 2^63
            return truncated >= -limit && truncated < limit ? qint64(truncated) : 0;
        }
        default: // beyond the signed 64-bit range
            return 0;
        }
    default:
        return 0;
    }
}

std::optional<QString> string(sj::value value)
{
    if (value.type() != sj::json_type::string)
        return std::nullopt;
    return text(value.get_string());
}

} // namespace JsonLine
