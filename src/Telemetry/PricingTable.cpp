#include "Telemetry/PricingTable.h"

#include "Platform/Files/CheckedWrite.h"
#include "Telemetry/SaturatingMath.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonValue>

#include <algorithm>
#include <cmath>

namespace {

constexpr double tolerance = 1e-6;

bool close(double a, double b) { return std::abs(a - b) < tolerance; }

bool close(const std::optional<double> &a, const std::optional<double> &b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || close(*a, *b);
}

struct DecodeFailure {};

double requiredNumber(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble())
        throw DecodeFailure{};
    return value.toDouble();
}

std::optional<double> optionalNumber(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isDouble())
        throw DecodeFailure{};
    return value.toDouble();
}

std::optional<qint64> optionalInteger(const QJsonObject &object, const char *key)
{
    const auto number = optionalNumber(object, key);
    if (!number)
        return std::nullopt;
    const qint64 integer = object.value(QLatin1String(key)).toInteger();
    if (static_cast<double>(integer) != *number)
        throw DecodeFailure{};
    return integer;
}

QJsonObject requiredObject(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isObject())
        throw DecodeFailure{};
    return value.toObject();
}

ModelPricing pricingFromJson(const QJsonValue &value)
{
    if (!value.isObject())
        throw DecodeFailure{};
    const QJsonObject object = value.toObject();
    return ModelPricing{
        requiredNumber(object, "input"),
        requiredNumber(object, "output"),
        optionalNumber(object, "cachedInput"),
        optionalNumber(object, "longContextInput"),
        optionalNumber(object, "longContextOutput"),
        optionalNumber(object, "longContextCachedInput"),
        optionalInteger(object, "longContextThreshold"),
        optionalNumber(object, "cacheWrite5m"),
        optionalNumber(object, "cacheWrite1h"),
    };
}

QJsonObject pricingToJson(const ModelPricing &pricing)
{
    QJsonObject object{{QStringLiteral("input"), pricing.input}, {QStringLiteral("output"), pricing.output}};
    const auto put = [&object](const char *key, const std::optional<double> &value) {
        if (value)
            object.insert(QLatin1String(key), *value);
    };
    put("cachedInput", pricing.cachedInput);
    put("longContextInput", pricing.longContextInput);
    put("longContextOutput", pricing.longContextOutput);
    put("longContextCachedInput", pricing.longContextCachedInput);
    put("cacheWrite5m", pricing.cacheWrite5m);
    put("cacheWrite1h", pricing.cacheWrite1h);
    if (pricing.longContextThreshold)
        object.insert(QStringLiteral("longContextThreshold"), *pricing.longContextThreshold);
    return object;
}

ModelPricing rates(double input, double output, std::optional<double> cached,
                   std::optional<double> longInput = {}, std::optional<double> longOutput = {},
                   std::optional<double> longCached = {}, std::optional<qint64> threshold = {})
{
    return ModelPricing{input, output, cached, longInput, longOutput, longCached, threshold};
}

// Anthropic bills 5-minute cache writes at 1.25 x and 1-hour writes at 2 x the input rate.
ModelPricing claude(double input, double output, double cached, std::optional<double> longInput = {},
                    std::optional<double> longOutput = {}, std::optional<double> longCached = {},
                    std::optional<qint64> threshold = {})
{
    ModelPricing pricing = rates(input, output, cached, longInput, longOutput, longCached, threshold);
    pricing.cacheWrite5m = 1.25 * input;
    pricing.cacheWrite1h = 2.0 * input;
    return pricing;
}

// Claude 3 Haiku's cache writes are priced apart from the rule.
ModelPricing claude3Haiku()
{
    ModelPricing pricing = rates(0.25, 1.25, 0.03);
    pricing.cacheWrite5m = 0.3;
    pricing.cacheWrite1h = 0.5;
    return pricing;
}

// Adds the built-in models the file lacks and brings stale long-context thresholds up to date.
bool upgrade(PricingFile &file)
{
    const PricingFile &builtIn = PricingFile::builtInDefault();
    bool changed = false;
    if (file.defaultPer1M.matches(PricingFile::prototypeDefault())) {
        file.defaultPer1M = builtIn.defaultPer1M;
        changed = true;
    }
    for (const auto &[name, builtInPricing] : builtIn.models) {
        auto found = file.models.find(name);
        if (found == file.models.end()) {
            file.models.emplace(name, builtInPricing);
            changed = true;
            continue;
        }
        auto &threshold = found->second.longContextThreshold;
        if (threshold && builtInPricing.longContextThreshold && *threshold != *builtInPricing.longContextThreshold) {
            threshold = builtInPricing.longContextThreshold;
            changed = true;
        }
    }
    return changed;
}

} // namespace

bool ModelPricing::matches(const ModelPricing &other) const
{
    return close(input, other.input) && close(output, other.output)
        && close(cachedInput, other.cachedInput) && close(longContextInput, other.longContextInput)
        && close(longContextOutput, other.longContextOutput)
        && close(longContextCachedInput, other.longContextCachedInput)
        && longContextThreshold == other.longContextThreshold && close(cacheWrite5m, other.cacheWrite5m)
        && close(cacheWrite1h, other.cacheWrite1h);
}

QJsonObject PricingFile::toJson() const
{
    QJsonObject modelsObject;
    for (const auto &[name, pricing] : models)
        modelsObject.insert(name, pricingToJson(pricing));
    return QJsonObject{{QStringLiteral("defaultPer1M"), pricingToJson(defaultPer1M)},
                       {QStringLiteral("models"), modelsObject}};
}

std::optional<PricingFile> PricingFile::fromJson(const QByteArray &bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    try {
        const QJsonObject root = document.object();
        PricingFile file;
        file.defaultPer1M = pricingFromJson(requiredObject(root, "defaultPer1M"));
        const QJsonObject modelsObject = requiredObject(root, "models");
        for (auto it = modelsObject.begin(); it != modelsObject.end(); ++it)
            file.models.emplace(it.key(), pricingFromJson(it.value()));
        return file;
    } catch (const DecodeFailure &) {
        return std::nullopt;
    }
}

const PricingFile &PricingFile::builtInDefault()
{
    static const PricingFile table{
        rates(1.25, 10.0, 0.125),
        {
            {QStringLiteral("gpt-5.5"), rates(5.0, 30.0, 0.5, 10.0, 45.0, 1.0, 270000)},
            {QStringLiteral("gpt-5.5-pro"), rates(30.0, 180.0, {}, 60.0, 270.0, {}, 270000)},
            {QStringLiteral("gpt-5.4"), rates(2.5, 15.0, 0.25, 5.0, 22.5, 0.5, 270000)},
            {QStringLiteral("gpt-5.4-mini"), rates(0.75, 4.5, 0.075)},
            {QStringLiteral("gpt-5.4-nano"), rates(0.2, 1.25, 0.02)},
            {QStringLiteral("gpt-5.4-pro"), rates(30.0, 180.0, {}, 60.0, 270.0, {}, 270000)},
            {QStringLiteral("gpt-5"), rates(1.25, 10.0, 0.125)},
            {QStringLiteral("gpt-5-codex"), rates(1.25, 10.0, 0.125)},
            {QStringLiteral("gpt-5.3-codex"), rates(1.75, 14.0, 0.175)},
            {QStringLiteral("chat-latest"), rates(5.0, 30.0, 0.5)},
            {QStringLiteral("claude-3-5-haiku"), claude(0.8, 4, 0.08)},
            {QStringLiteral("claude-3-5-sonnet"), claude(3, 15, 0.3)},
            {QStringLiteral("claude-3-7-sonnet"), claude(3, 15, 0.3)},
            {QStringLiteral("claude-3-haiku"), claude3Haiku()},
            {QStringLiteral("claude-3-opus"), claude(15, 75, 1.5)},
            {QStringLiteral("claude-haiku"), claude(1, 5, 0.1)},
            {QStringLiteral("claude-haiku-4-5"), claude(1, 5, 0.1)},
            {QStringLiteral("claude-opus"), claude(5, 25, 0.5)},
            {QStringLiteral("claude-opus-4"), claude(15, 75, 1.5)},
            {QStringLiteral("claude-opus-4-1"), claude(15, 75, 1.5)},
            {QStringLiteral("claude-opus-4-5"), claude(5, 25, 0.5)},
            {QStringLiteral("claude-opus-4-6"), claude(5, 25, 0.5, 10, 37.5, 1, 200000)},
            {QStringLiteral("claude-sonnet"), claude(3, 15, 0.3, 6, 22.5, 0.6, 200000)},
            {QStringLiteral("claude-sonnet-4"), claude(3, 15, 0.3, 6, 22.5, 0.6, 200000)},
            {QStringLiteral("claude-sonnet-4-5"), claude(3, 15, 0.3, 6, 22.5, 0.6, 200000)},
            {QStringLiteral("o4-mini"), rates(1.1, 4.4, 0.275)},
            {QStringLiteral("mock-model"), rates(3.0, 15.0, 0.3)},
            {QStringLiteral("mock-model-xl"), rates(2.0, 8.0, 0.2)},
        },
    };
    return table;
}

const ModelPricing &PricingFile::prototypeDefault()
{
    static const ModelPricing prototype = rates(3.0, 15.0, 0.3);
    return prototype;
}

PricingTable::PricingTable(QString path) : m_path(std::move(path))
{
    QFile file(m_path);
    const bool exists = file.exists();
    std::optional<PricingFile> decoded;
    if (file.open(QIODevice::ReadOnly))
        decoded = PricingFile::fromJson(file.readAll());
    file.close();

    if (!decoded) {
        if (exists)
            keepCorruptFileAside();
        m_table = PricingFile::builtInDefault();
        write(m_table);
        return;
    }
    m_table = std::move(*decoded);
    if (upgrade(m_table))
        write(m_table);
}

PricingTable PricingTable::readOnly(QString path)
{
    PricingTable table;
    table.m_path = std::move(path);
    QFile file(table.m_path);
    std::optional<PricingFile> decoded;
    if (file.open(QIODevice::ReadOnly))
        decoded = PricingFile::fromJson(file.readAll());
    table.m_table = decoded ? std::move(*decoded) : PricingFile::builtInDefault();
    if (decoded)
        upgrade(table.m_table);
    return table;
}

const ModelPricing &PricingTable::pricing(const std::optional<QString> &model) const
{
    if (!model || model->isEmpty())
        return m_table.defaultPer1M;
    if (auto exact = m_table.models.find(*model); exact != m_table.models.end())
        return exact->second;
    const ModelPricing *best = nullptr;
    qsizetype bestLength = -1;
    for (const auto &[key, pricing] : m_table.models) {
        const bool related = model->startsWith(key) || key.startsWith(*model);
        if (related && key.size() > bestLength) {
            best = &pricing;
            bestLength = key.size();
        }
    }
    return best ? *best : m_table.defaultPer1M;
}

double PricingTable::cost(const std::optional<QString> &model, const TokenUsage &usage,
                          std::optional<qint64> tierInputTokens) const
{
    const ModelPricing &p = pricing(model);
    const qint64 tierCount = tierInputTokens.value_or(usage.inputTokens);
    const bool longContext = p.longContextThreshold && tierCount >= *p.longContextThreshold;

    double in = p.input;
    double out = p.output;
    double cached = p.cachedInput.value_or(0.1 * p.input);
    double write5m = p.cacheWrite5m.value_or(1.25 * p.input);
    double write1h = p.cacheWrite1h.value_or(2.0 * p.input);
    if (longContext) {
        in = p.longContextInput.value_or(p.input);
        out = p.longContextOutput.value_or(p.output);
        cached = p.longContextCachedInput.value_or(p.cachedInput.value_or(0.1 * in));
        write5m = 1.25 * in;
        write1h = 2.0 * in;
    }
    const qint64 cachedTokens = usage.cachedTokens.value_or(0);
    const qint64 written = saturatingAdd(usage.cacheWrite5mTokens, usage.cacheWrite1hTokens);
    const qint64 plain = std::max<qint64>(usage.inputTokens - cachedTokens - written, 0);
    const auto dollars = [](double rate, qint64 tokens) { return rate * static_cast<double>(tokens); };
    return (dollars(in, plain) + dollars(out, usage.outputTokens) + dollars(cached, cachedTokens)
            + dollars(write5m, usage.cacheWrite5mTokens) + dollars(write1h, usage.cacheWrite1hTokens))
        / 1'000'000.0;
}

void PricingTable::write(const PricingFile &file)
{
    m_writeProblem = CheckedWrite::replaceFile(m_path, QJsonDocument(file.toJson()).toJson(QJsonDocument::Indented));
}

void PricingTable::keepCorruptFileAside() const
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QFile::rename(m_path, m_path + QStringLiteral(".corrupt-") + stamp);
}
