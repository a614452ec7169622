// f06modes: natural frequencies, participation factors, effective mass and
// rigid-body mass from an NX Nastran normal-modes report.

#include "run/run_session.h"

int main() {
    return run_session();
}
