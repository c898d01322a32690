#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

// How the compact bar shares its width: which elements show and how wide each is drawn. The
// elements stand in a fixed order on the bar; when the bar is too narrow for all of them, they give
// way by their rank in the table below, the lowest first, and an element either shows whole or not
// at all. Essential elements never give way; when even they do not fit at their usual widths they
// shrink, but never below what their content needs.
//
//  rank | element    | essential | usual width      | never narrower than
//  -----+------------+-----------+------------------+------------------------------------------
//     0 | state      | yes       | max(100, text)   | its text, with the turn clock
//     1 | tokens     | yes       | 166              | its two values
//     2 | cost       | yes       | 94               | its text
//     3 | slot       | no        | text, up to 230  | icon, caption and 150 of the creative's text
//     4 | limits     | no        | its figure       | its figure
//     5 | chip       | no        | its label        | its label
//     6 | earnings   | no        | max(86, text)    | its text
//     7 | expand     | no        | 22               | 22
//     8 | model      | no        | its name         | its name (whole or not at all)
//     9 | sparkline  | no        | 86               | 86
//
// The plan limits outrank everything but the essentials and a creative that is paid to show:
// at the docked minimum (660) they share the bar with the slot's placeholder between turns and
// give way to a creative during one; the dashboard and the menu always show them.
// A new element is one more row: its rank decides what it outlasts.
namespace CompactBarLayout {

struct Rule {
    QString name;
    bool essential = false;
    double usualWidth = 0;       // the width it gets when there is room (its content's if wider)
    double widest = 0;           // never drawn wider (0: no limit)
    double scrollsDownTo = 0;    // content that scrolls may be drawn this narrow (0: content width)
    bool leadingDivider = false; // a divider stands before it while it shows
};

// The table above, highest rank first.
const QList<Rule> &rules();

constexpr double padding = 10;       // left and right
constexpr double spacing = 10;       // between elements
constexpr double spacerMinimum = 4;  // the flexible space before the earnings badge
constexpr double dividerWidth = 1;
constexpr double slotChrome = 8 + 12 + 6 + 8; // the slot's padding, icon and the icon's spacing
constexpr double slotTextMinimum = 150;

struct Inputs {
    double barWidth = 0;
    // The width each present element's content needs, by name; absent elements (no model, ads
    // off) are missing.
    QHash<QString, double> contentWidths;
};

struct Layout {
    QHash<QString, double> widths; // shown elements only
    bool shows(const QString &name) const { return widths.contains(name); }
    double width(const QString &name) const { return widths.value(name, 0); }
    // For the view: name → width.
    QVariantMap toVariantMap() const;
    bool operator==(const Layout &) const = default;
};

Layout layout(const Inputs &inputs);

} // namespace CompactBarLayout
