#include "resources/Menus.h"

#include <QAction>
#include <QMenu>

namespace {

QAction* addItem(QMenu* menu, const char* text, int id, bool checkable = false,
                 bool checked = false) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    action->setData(id);
    action->setObjectName(QStringLiteral("id_%1").arg(id));
    if (checkable) {
        action->setCheckable(true);
        action->setChecked(checked);
    }
    return action;
}

void buildComponentMenu(QMenu* popup) { addItem(popup, "Settings...", menu::kSettingsCommand); }

void buildStackViewMenu(QMenu* popup) {
    QMenu* view = popup->addMenu(QStringLiteral("View"));
    addItem(view, "Stack pointer", 32781, true, true);
    addItem(view, "X pointer", 32782, true);
    addItem(view, "Y pointer", 32783, true);
    addItem(view, "Z pointer", 32784, true);
    addItem(view, "Adress", 32785, true, true);
    addItem(view, "Value (hexadecimal)", 32787, true, true);
    addItem(view, "Value (decimal)", 32786, true);
    addItem(view, "Value (binary)", 32788, true);
    addItem(view, "Value (ASCII)", 32789, true);
    QMenu* autoScroll = popup->addMenu(QStringLiteral("Auto scroll"));
    addItem(autoScroll, "Stackpointer", 32790, true);
    addItem(autoScroll, "X-Pointer", 32791, true);
    addItem(autoScroll, "Y-Pointer", 32792, true);
    addItem(autoScroll, "Z-Pointer", 32793, true);
    addItem(autoScroll, "None", 32794, true, true);
    popup->addSeparator();
    addItem(popup, "Reverse list", 32780);
}

}  // namespace

QMenu* LoadMenuResource(int menuId, QWidget* parent) {
    void (*build)(QMenu*) = nullptr;
    switch (menuId) {
        case menu::kComponentMenu:
            build = buildComponentMenu;
            break;
        case menu::kStackViewMenu:
            build = buildStackViewMenu;
            break;
        default:
            return nullptr;
    }
    auto* popup = new QMenu(parent);
    popup->setObjectName(QStringLiteral("menu_%1").arg(menuId));
    build(popup);
    return popup;
}

QAction* FindMenuAction(QMenu* menu, int id) {
    if (!menu) return nullptr;
    for (QAction* action : menu->actions()) {
        if (action->menu()) {
            if (QAction* found = FindMenuAction(action->menu(), id)) return found;
        } else if (!action->isSeparator() && action->data().isValid() &&
                   action->data().toInt() == id) {
            return action;
        }
    }
    return nullptr;
}
