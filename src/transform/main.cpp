// The program's entry: start the text layer, run the dialogue, end the process.
#include "textio/errors.h"
#include "textio/units.h"
#include "transform/dialogue.h"

int main(int argc, char** argv) {
    textio::startUnits(argc, argv);
    textio::armFloatingPointTraps();
    textio::endProcess(transform::runDialogue());
}
