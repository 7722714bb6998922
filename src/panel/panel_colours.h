#pragma once

#include <QColor>

inline const QColor kPanelColour(230, 235, 245);
inline const QColor kLabelColour(63, 32, 255);
inline const QColor kLogColour(255, 0, 0);
inline const QColor kProgressColour(100, 180, 86);
inline const QColor kChipEditColour(200, 0, 255);
