#include "HUD/CompactBarLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace CompactBarLayout {

namespace {

struct Candidate {
    const Rule *rule;
    double narrowest;
    double usual;
};

Candidate candidate(const Rule &rule, double measured)
{
    // Whole points, so the elements stand on pixel edges and the sum stays what was counted.
    const double content = std::ceil(measured);
    const double widest = rule.widest > 0 ? rule.widest : std::numeric_limits<double>::infinity();
    const double narrowest = rule.scrollsDownTo > 0 ? std::min(content, rule.scrollsDownTo) : content;
    return {&rule, std::min(narrowest, widest), std::min(std::max(rule.usualWidth, content), widest)};
}

// What an element takes of the bar besides its own width: the spacing before it, and its divider.
double surroundings(const Rule &rule) { return spacing + (rule.leadingDivider ? dividerWidth + spacing : 0); }

} // namespace

const QList<Rule> &rules()
{
    static const QList<Rule> table{
        {QStringLiteral("state"), true, 100, 0, 0, false},
        {QStringLiteral("tokens"), true, 166, 0, 0, true},
        {QStringLiteral("cost"), true, 94, 0, 0, false},
        {QStringLiteral("slot"), false, 0, 230, slotChrome + slotTextMinimum, true},
        {QStringLiteral("limits"), false, 0, 0, 0, false},
        {QStringLiteral("chip"), false, 0, 0, 0, false},
        {QStringLiteral("earnings"), false, 86, 0, 0, false},
        {QStringLiteral("expand"), false, 22, 0, 0, false},
        {QStringLiteral("model"), false, 0, 0, 0, false},
        {QStringLiteral("sparkline"), false, 86, 0, 0, false},
    };
    return table;
}

QVariantMap Layout::toVariantMap() const
{
    QVariantMap map;
    for (auto it = widths.begin(); it != widths.end(); ++it)
        map.insert(it.key(), it.value());
    return map;
}

Layout layout(const Inputs &inputs)
{
    // The bar's own padding and the flexible space (the spacings are counted with each element).
    const double room = inputs.barWidth - 2 * padding - spacerMinimum;
    std::vector<Candidate> shown;
    double usualTotal = 0;  // of the elements taken so far, at their usual widths
    double narrowTotal = 0; // and at their narrowest
    for (const Rule &rule : rules()) {
        const auto content = inputs.contentWidths.find(rule.name);
        if (content == inputs.contentWidths.end())
            continue;
        const Candidate c = candidate(rule, *content);
        // A lesser element shows only where everything ranked above it keeps its usual width.
        if (!rule.essential && usualTotal + c.narrowest + surroundings(rule) > room)
            continue;
        shown.push_back(c);
        usualTotal += c.usual + surroundings(rule);
        narrowTotal += c.narrowest + surroundings(rule);
    }
    // Everything starts at its narrowest; what is left goes to the highest ranks first.
    double left = std::max(0.0, room - narrowTotal);
    Layout result;
    for (const Candidate &c : shown) {
        const double grow = std::min(left, c.usual - c.narrowest);
        left -= grow;
        result.widths.insert(c.rule->name, c.narrowest + grow);
    }
    return result;
}

} // namespace CompactBarLayout
