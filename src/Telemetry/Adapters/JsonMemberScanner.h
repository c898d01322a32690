#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

// The top-level members of a one-line JSON object, found without parsing their values, so that a
// large line of an unwanted kind costs a single pass over its bytes.
class JsonMemberScanner {
public:
    using Member = std::pair<QByteArrayView, QByteArrayView>; // raw key (without quotes), raw value

    // Empty when the text is not one object (unterminated strings, unbalanced brackets,
    // missing separators). Values are only checked for balance, not parsed.
    static std::optional<std::vector<Member>> scan(QByteArrayView text);

    // The raw value of a member, or none.
    static std::optional<QByteArrayView> find(const std::vector<Member> &members, QByteArrayView key);

    // The text of a raw JSON string value, escapes decoded; none when the value is not a string.
    static std::optional<QString> stringValue(QByteArrayView raw);
};
