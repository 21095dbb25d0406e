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
    addItem(view, "Stack pointer", menu::kShowStackPointer, true, true);
    addItem(view, "X pointer", menu::kShowX, true);
    addItem(view, "Y pointer", menu::kShowY, true);
    addItem(view, "Z pointer", menu::kShowZ, true);
    addItem(view, "Adress", menu::kShowAddress, true, true);
    addItem(view, "Value (hexadecimal)", menu::kShowHex, true, true);
    addItem(view, "Value (decimal)", menu::kShowDecimal, true);
    addItem(view, "Value (binary)", menu::kShowBinary, true);
    addItem(view, "Value (ASCII)", menu::kShowAscii, true);
    QMenu* autoScroll = popup->addMenu(QStringLiteral("Auto scroll"));
    addItem(autoScroll, "Stackpointer", menu::kFollowSP, true);
    addItem(autoScroll, "X-Pointer", menu::kFollowX, true);
    addItem(autoScroll, "Y-Pointer", menu::kFollowY, true);
    addItem(autoScroll, "Z-Pointer", menu::kFollowZ, true);
    addItem(autoScroll, "None", menu::kFollowNone, true, true);
    popup->addSeparator();
    addItem(popup, "Reverse list", menu::kReverseList);
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
