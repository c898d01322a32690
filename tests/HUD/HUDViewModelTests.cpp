#include "FakeHUDSettings.h"
#include "HUD/HUDViewModel.h"

#include <gtest/gtest.h>

#include <QMetaProperty>
#include <QSignalSpy>

namespace {

// What the views write back (their widths) must announce itself, or a binding on it goes stale.
TEST(HUDViewModel, EveryWritablePropertyNotifiesOnceAChange)
{
    HUDState state;
    state.setExpanded(true);
    FakeHUDSettings settings;
    HUDViewModel model(state, settings, nullptr);
    const QMetaObject &meta = *model.metaObject();
    int writable = 0;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
        const QMetaProperty property = meta.property(i);
        if (!property.isWritable())
            continue;
        ++writable;
        SCOPED_TRACE(property.name());
        ASSERT_TRUE(property.hasNotifySignal());
        QVariant changed;
        if (property.metaType() == QMetaType::fromType<double>())
            changed = property.read(&model).toDouble() + 120;
        else if (property.metaType() == QMetaType::fromType<QRectF>())
            changed = QRectF(500, 7, 212, 30);
        else if (property.metaType() == QMetaType::fromType<QVariantMap>())
            changed = QVariantMap{{QStringLiteral("state"), 99.0}, {QStringLiteral("tokens"), 92.0}};
        ASSERT_TRUE(changed.isValid()) << "give this type a changed value above";
        QSignalSpy spy(&model, property.notifySignal());
        property.write(&model, changed);
        property.write(&model, changed);
        EXPECT_EQ(spy.count(), 1);
        EXPECT_EQ(property.read(&model), changed);
    }
    EXPECT_GT(writable, 0);
}

} // namespace
