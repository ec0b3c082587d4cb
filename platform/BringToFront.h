#pragma once
// Shows a window, or brings it back when it is already shown: on top of the others and
// with the keyboard focus, however the user had left it (hidden, covered, unfocused).

class QWidget;

void bringToFront(QWidget* window);
