// The main window's controls as a person finds them on the screen: by name
// (each control's objectName is its field name in the window).
#pragma once

#include "app/fMain.h"

#include <QWidget>

template <class T> T* Control(const QWidget* window, const char* name) {
    T* control = window->findChild<T*>(QString::fromLatin1(name));
    if (!control) qFatal("the window has no control named %s", name);
    return control;
}
