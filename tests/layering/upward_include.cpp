// Must not compile: the binding layer sits below formats, so its include
// root does not hold the formats headers. A test builds this and expects the
// build to fail.
#include "formats/json_reader.h"
