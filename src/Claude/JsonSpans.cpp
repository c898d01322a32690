#include "Claude/JsonSpans.h"

#include <simdjson.h>

namespace JsonSpans {

namespace {

using namespace simdjson;

std::string_view withoutTrailingSpace(std::string_view text)
{
    while (!text.empty() && std::string_view(" \t\r\n").find(text.back()) != std::string_view::npos)
        text.remove_suffix(1);
    return text;
}

// The bytes of a value, consuming it. simdjson's spans run up to the next token, so the white
// space after the value is cut off.
std::optional<std::string_view> valueText(ondemand::value value)
{
    ondemand::json_type type;
    if (value.type().get(type))
        return std::nullopt;
    std::string_view text;
    if (type == ondemand::json_type::object) {
        ondemand::object object;
        if (value.get_object().get(object) || object.raw_json().get(text))
            return std::nullopt;
    } else if (type == ondemand::json_type::array) {
        ondemand::array array;
        if (value.get_array().get(array) || array.raw_json().get(text))
            return std::nullopt;
    } else {
        text = value.raw_json_token();
    }
    return withoutTrailingSpace(text);
}

} // namespace

qsizetype skipSpace(QByteArrayView text, qsizetype at)
{
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
        ++at;
    return at;
}

std::optional<std::vector<Item>> items(QByteArrayView text)
{
    const padded_string padded(text.data(), size_t(text.size()));
    ondemand::parser parser;
    ondemand::document document;
    if (parser.iterate(padded).get(document))
        return std::nullopt;
    ondemand::json_type type;
    if (document.type().get(type))
        return std::nullopt;
    const char *base = padded.data();
    std::vector<Item> found;
    const auto add = [&](QString key, qsizetype start, std::string_view value) {
        const qsizetype valueStart = value.data() - base;
        found.push_back({std::move(key), start < 0 ? valueStart : start, valueStart,
                         valueStart + qsizetype(value.size())});
    };
    if (type == ondemand::json_type::object) {
        ondemand::object object;
        if (document.get_object().get(object))
            return std::nullopt;
        for (auto field : object) {
            ondemand::field member;
            if (std::move(field).get(member))
                return std::nullopt;
            // Before unescaping, which takes the raw key over.
            const qsizetype keyStart = member.key().raw() - 1 - base; // its opening quote
            std::string_view key;
            if (member.unescaped_key().get(key))
                return std::nullopt;
            const auto value = valueText(member.value());
            if (!value)
                return std::nullopt;
            add(QString::fromUtf8(key.data(), qsizetype(key.size())), keyStart, *value);
        }
    } else if (type == ondemand::json_type::array) {
        ondemand::array array;
        if (document.get_array().get(array))
            return std::nullopt;
        for (auto element : array) {
            ondemand::value value;
            if (std::move(element).get(value))
                return std::nullopt;
            const auto text = valueText(value);
            if (!text)
                return std::nullopt;
            add({}, -1, *text);
        }
    } else {
        return std::nullopt;
    }
    return found;
}

} // namespace JsonSpans
