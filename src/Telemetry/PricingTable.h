#pragma once

#include "Telemetry/AgentEvent.h"

#include <QJsonObject>
#include <QString>

#include <map>
#include <optional>

// Rates of one model, in US dollars per one million tokens.
struct ModelPricing {
    double input = 0;
    double output = 0;
    std::optional<double> cachedInput;            // absent: 0.1 x the input rate in force
    std::optional<double> longContextInput;       // absent: input
    std::optional<double> longContextOutput;      // absent: output
    std::optional<double> longContextCachedInput; // absent: the standard cached rule
    std::optional<qint64> longContextThreshold;   // absent: the long-context tier never applies
    // Prompt-cache writes: absent, 1.25 x (5-minute) and 2 x (1-hour) the input rate in force. In
    // the long-context tier both are those multiples of its input rate.
    std::optional<double> cacheWrite5m;
    std::optional<double> cacheWrite1h;

    bool operator==(const ModelPricing &) const = default;

    // Equal within 1e-6 on every rate, and the same threshold.
    bool matches(const ModelPricing &other) const;
};

struct PricingFile {
    ModelPricing defaultPer1M;
    std::map<QString, ModelPricing> models;

    bool operator==(const PricingFile &) const = default;

    QJsonObject toJson() const;
    // Absent when a required key is missing or a value has the wrong type.
    static std::optional<PricingFile> fromJson(const QByteArray &bytes);

    static const PricingFile &builtInDefault();
    static const ModelPricing &prototypeDefault();
};

// The price table of "pricing.json", loaded and upgraded once at startup.
class PricingTable {
public:
    // Loads the file; a missing or undecodable one is replaced by the built-in table, which is
    // also the first copy a user gets (an undecodable one is first kept aside as
    // "<name>.corrupt-<yyyyMMdd-HHmmss>"). A file lacking built-in models gains them; the rows it
    // has keep the user's rates.
    explicit PricingTable(QString path);
    // The same table for a reader that must leave the file alone: nothing is written or renamed.
    static PricingTable readOnly(QString path);

    const PricingFile &table() const { return m_table; }
    const QString &path() const { return m_path; }
    // Why the file could not be written when loading had to write it; the table in memory is
    // used all the same.
    const std::optional<QString> &writeProblem() const { return m_writeProblem; }

    // Exact key, else the longest key that is a prefix of the name or has it as a prefix.
    const ModelPricing &pricing(const std::optional<QString> &model) const;

    // Dollars for one usage; inputTokens include cachedTokens and the cache writes. The tier is
    // chosen by tierInputTokens when given, else by inputTokens.
    double cost(const std::optional<QString> &model, const TokenUsage &usage,
                std::optional<qint64> tierInputTokens = std::nullopt) const;
    double cost(const std::optional<QString> &model, qint64 inputTokens, qint64 outputTokens,
                qint64 cachedTokens, std::optional<qint64> tierInputTokens = std::nullopt) const
    {
        return cost(model, TokenUsage{inputTokens, outputTokens, cachedTokens}, tierInputTokens);
    }

private:
    PricingTable() = default;
    void write(const PricingFile &file);
    void keepCorruptFileAside() const;

    QString m_path;
    PricingFile m_table;
    std::optional<QString> m_writeProblem;
};
