// The readout strip TMKeysO; everything but its identity lives in TKeysBase (Klavier.cpp).
#include "KlavierO.h"
