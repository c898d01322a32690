#include "Platform/Sway/SwayTree.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString scratchpadWorkspace = QStringLiteral("__i3_scratch");

QRectF rectOf(const QJsonValue &value)
{
    const QJsonObject rect = value.toObject();
    return {rect.value(u"x").toDouble(), rect.value(u"y").toDouble(), rect.value(u"width").toDouble(),
            rect.value(u"height").toDouble()};
}

// Sway's rect leaves out the title bar (i3's convention); deco_rect is the title bar.
QRectF frameOf(const QJsonObject &node)
{
    const QRectF rect = rectOf(node.value(u"rect"));
    const double titleBar = rectOf(node.value(u"deco_rect")).height();
    return rect.adjusted(0, -titleBar, 0, 0);
}

QString appIdOf(const QJsonObject &node)
{
    const QString appId = node.value(u"app_id").toString();
    if (!appId.isEmpty())
        return appId;
    return node.value(u"window_properties").toObject().value(u"class").toString();
}

bool isView(const QJsonObject &node)
{
    const QString type = node.value(u"type").toString();
    return (type == u"con" || type == u"floating_con") && node.contains(u"pid");
}

SwayView viewOf(const QJsonObject &node, bool inScratchpad)
{
    SwayView view;
    view.conId = node.value(u"id").toInteger();
    view.x11Window = quint64(node.value(u"window").toInteger());
    view.application = {appIdOf(node), node.value(u"pid").toInteger()};
    view.frame = frameOf(node);
    view.focused = node.value(u"focused").toBool();
    view.visible = node.value(u"visible").toBool();
    view.inScratchpad = inScratchpad;
    view.title = node.value(u"name").toString();
    return view;
}

void collectViews(const QJsonObject &node, bool inScratchpad, std::vector<SwayView> &views)
{
    inScratchpad = inScratchpad
        || (node.value(u"type").toString() == u"workspace" && node.value(u"name").toString() == scratchpadWorkspace);
    if (isView(node))
        views.push_back(viewOf(node, inScratchpad));
    for (const char16_t *children : {u"nodes", u"floating_nodes"}) {
        for (const QJsonValue &child : node.value(QStringView(children)).toArray())
            collectViews(child.toObject(), inScratchpad, views);
    }
}

} // namespace

std::optional<SwayLayout> parseSwayTree(const QByteArray &json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    const QJsonObject root = document.object();
    if (root.value(u"type").toString() != u"root")
        return std::nullopt;
    SwayLayout layout{rectOf(root.value(u"rect")), {}};
    collectViews(root, false, layout.views);
    return layout;
}
