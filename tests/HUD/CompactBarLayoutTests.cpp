#include "HUD/CompactBarLayout.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace CompactBarLayout;

// What the bar's contents need as drawn in the HUD's fonts (a long creative, model "gpt-5",
// limits "5h 43 % · 1:12").
QHash<QString, double> typicalContents()
{
    return {{"state", 99},    {"tokens", 92}, {"cost", 73},  {"slot", slotChrome + 400}, {"limits", 84},
            {"chip", 62},     {"earnings", 80}, {"expand", 22}, {"model", 33}, {"sparkline", 86}};
}

std::set<std::string> shown(const Layout &layout)
{
    std::set<std::string> names;
    for (auto it = layout.widths.begin(); it != layout.widths.end(); ++it)
        names.insert(it.key().toStdString());
    return names;
}

// The bar's padding, the flexible space, and each element with its spacing and divider.
double usedWidth(const Layout &layout)
{
    double used = 2 * padding + spacerMinimum;
    for (const Rule &rule : rules())
        if (layout.shows(rule.name))
            used += layout.width(rule.name) + spacing + (rule.leadingDivider ? dividerWidth + spacing : 0);
    return used;
}

} // namespace

TEST(CompactBarLayout, WhatShowsAtTheDockedWidths)
{
    struct Case {
        double width;
        std::set<std::string> shown;
    };
    const Case cases[] = {
        {380, {"state", "tokens", "cost"}},
        {660, {"state", "tokens", "cost", "slot"}},
        {906, {"state", "tokens", "cost", "slot", "limits", "chip", "expand"}},
        {1240, {"state", "tokens", "cost", "slot", "limits", "chip", "earnings", "expand", "model", "sparkline"}},
        {1600, {"state", "tokens", "cost", "slot", "limits", "chip", "earnings", "expand", "model", "sparkline"}},
    };
    for (const Case &c : cases) {
        const Layout bar = layout({c.width, typicalContents()});
        EXPECT_EQ(shown(bar), c.shown) << c.width;
        EXPECT_LE(usedWidth(bar), c.width) << c.width;
    }
}

TEST(CompactBarLayout, TokensAndCostKeepTheirWidthsAndTheSlotItsTextAt660)
{
    const Layout bar = layout({660, typicalContents()});
    EXPECT_EQ(bar.width("tokens"), 166);
    EXPECT_EQ(bar.width("cost"), 94);
    EXPECT_GE(bar.width("state"), 100);
    EXPECT_GE(bar.width("slot") - slotChrome, slotTextMinimum);
    EXPECT_LE(bar.width("slot"), 230);

    // With room to spare the slot stops at 230, or at a short creative's own width.
    EXPECT_EQ(layout({1600, typicalContents()}).width("slot"), 230);
    QHash<QString, double> shortCreative = typicalContents();
    shortCreative["slot"] = slotChrome + 60;
    EXPECT_EQ(layout({1600, shortCreative}).width("slot"), slotChrome + 60);
    EXPECT_EQ(layout({660, shortCreative}).width("slot"), slotChrome + 60);
}

// At every width from the side panel's to a wide monitor's: essentials always show, nothing is
// drawn narrower than its content needs, and everything fits.
TEST(CompactBarLayout, NothingIsEverCutAndEssentialsAlwaysShow)
{
    for (const bool longModel : {false, true}) {
        QHash<QString, double> contents = typicalContents();
        if (longModel)
            contents["model"] = 160; // "claude-sonnet-4-5-20250929"
        for (double width = 380; width <= 1600; width += 7) {
            const Layout bar = layout({width, contents});
            for (const char *essential : {"state", "tokens", "cost"})
                EXPECT_TRUE(bar.shows(essential)) << essential << " at " << width;
            for (const Rule &rule : rules()) {
                if (!bar.shows(rule.name))
                    continue;
                const double needed = rule.name == "slot" ? slotChrome + slotTextMinimum : contents[rule.name];
                EXPECT_GE(bar.width(rule.name), needed) << rule.name.toStdString() << " at " << width;
            }
            EXPECT_LE(usedWidth(bar), width) << width;
        }
    }
}

TEST(CompactBarLayout, SideWidthShrinksTheEssentialsToTheirContentBeforeDroppingAny)
{
    QHash<QString, double> contents = typicalContents();
    contents["state"] = 112; // "Needs approval"
    const Layout bar = layout({380, contents});
    EXPECT_EQ(shown(bar), (std::set<std::string>{"state", "tokens", "cost"}));
    EXPECT_EQ(bar.width("state"), 112);
    EXPECT_EQ(bar.width("cost"), 73);
    EXPECT_LT(bar.width("tokens"), 166);
    EXPECT_GE(bar.width("tokens"), 92);
}

TEST(CompactBarLayout, AbsentElementsLeaveTheirRoomToOthers)
{
    QHash<QString, double> contents = typicalContents();
    contents.remove("slot"); // ads off
    contents.remove("model");
    const Layout bar = layout({660, contents});
    EXPECT_FALSE(bar.shows("slot"));
    EXPECT_TRUE(bar.shows("limits"));
    EXPECT_TRUE(bar.shows("chip"));
    EXPECT_LE(usedWidth(bar), 660);
    contents.remove("limits"); // no plan reported any
    const Layout noLimits = layout({660, contents});
    EXPECT_TRUE(noLimits.shows("earnings"));
    EXPECT_LE(usedWidth(noLimits), 660);
}

// At the docked minimum the limits take the room the slot's placeholder leaves between turns, and
// give way to a creative during one; a reached limit's longer figure still shows whole.
TEST(CompactBarLayout, LimitsShareTheMinimumWithThePlaceholderNotWithACreative)
{
    QHash<QString, double> between = typicalContents();
    between["slot"] = 82; // "Sponsored slot"
    const Layout idle = layout({660, between});
    EXPECT_TRUE(idle.shows("slot"));
    EXPECT_EQ(idle.width("limits"), 84);
    EXPECT_LE(usedWidth(idle), 660);

    EXPECT_FALSE(layout({660, typicalContents()}).shows("limits"));

    between["limits"] = 120; // "limit · resets 11:46"
    const Layout reached = layout({660, between});
    EXPECT_EQ(reached.width("limits"), 120);
    EXPECT_LE(usedWidth(reached), 660);
}
