// The module's popup menus, addressed by resource number. Each item is a
// QAction whose data() holds its numeric command id (objectName "id_<n>").
// Items that carry a check mark are checkable actions; as usual in Qt their
// mark has already flipped when the command reaches the window, and the
// window sets the marks it wants itself.
#pragma once

class QAction;
class QMenu;
class QWidget;

#include "contract/ResourceIds.h"  // the menu and command numbers (namespace menu)

// The popup (first submenu) of menu resource `menuId`, owned by `parent`;
// null for an unknown id.
QMenu* LoadMenuResource(int menuId, QWidget* parent);

// The item with command id `id` anywhere in `menu` and its submenus.
QAction* FindMenuAction(QMenu* menu, int id);
