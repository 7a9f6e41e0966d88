// The readout strip TMKeysO: the keyboard of TKeys under a type of its own.
#pragma once

#include "widgets/Klavier.h"

// Same fields, properties, defaults, operations and mouse handling as TKeys, shared
// through TKeysBase; a TMKeysO is not a TKeys. The main window shows the notes that
// actually go out on it.
class TMKeysO : public TKeysBase {
    Q_OBJECT
public:
    explicit TMKeysO(QWidget* AOwner = nullptr) : TKeysBase(AOwner) {}
};
