#include "controls/skin_resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitBrellixQrc() {
    Q_INIT_RESOURCE(brellix);
}

void LoadSkinResources() {
    static const bool loaded = (InitBrellixQrc(), true);
    (void)loaded;
}
