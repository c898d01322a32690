#include "FakeCompositor.h"

#include "moc_FakeCompositor.cpp"
