// The whole program with every f' row summed by the plain loop: what the fast rows are compared and timed against.
#include "textio/errors.h"
#include "textio/units.h"
#include "transform/dialogue.h"
#include "transform/fast_sum.h"

int main(int argc, char** argv) {
    transform::RowSettings settings;
    settings.referenceOnly = true;
    transform::setRowSettings(settings);
    textio::startUnits(argc, argv);
    textio::armFloatingPointTraps();
    textio::endProcess(transform::runDialogue());
}
