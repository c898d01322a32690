#pragma once

#include <QString>

#include <stdexcept>

// A file-system step of a configuration edit failed; what() is the text shown to the user.
class ConfigFileError : public std::runtime_error {
public:
    explicit ConfigFileError(const QString &description)
        : std::runtime_error(description.toStdString())
    {
    }
};
