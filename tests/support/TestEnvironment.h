#pragma once

#include <QString>

namespace TestEnvironment {

// The private root folder of this test process (HOME, XDG folders and TMPDIR live under it).
QString Root();

// Points HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_RUNTIME_DIR and TMPDIR at fresh folders under
// a private root. Called once by the shared main before any test runs.
void Isolate();

// Path of a file under tests/fixtures.
QString Fixture(const QString& relativePath);

// Path of one of the built programs (Tabrill, SheetHost, Extbinder).
QString Program(const QString& name);

} // namespace TestEnvironment
