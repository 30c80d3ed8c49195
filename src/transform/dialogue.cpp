// The console dialogue: introduction, advice, and the loop of calculations.
#include "transform/dialogue.h"

#include <cstring>

#include "textio/list_reader.h"
#include "textio/list_writer.h"
#include "textio/units.h"
#include "transform/kk_sum.h"
#include "transform/grid.h"

namespace transform {

char Answer[TEXT_LENGTH];
char InputFileName[TEXT_LENGTH];
char ResultFileName[TEXT_LENGTH];

namespace {

using textio::CONSOLE_UNIT;
using textio::ListReader;
using textio::ListWriter;

// One console line holding one text item of exactly the literal's length.
template <std::size_t N>
void say(const char (&text)[N]) {
    ListWriter::begin(CONSOLE_UNIT);
    ListWriter::putText(text, static_cast<int>(N - 1));
    ListWriter::end();
}

void sayText(const char* text, int length) {
    ListWriter::begin(CONSOLE_UNIT);
    ListWriter::putText(text, length);
    ListWriter::end();
}

void askText(char* variable) {
    ListReader::begin(CONSOLE_UNIT);
    ListReader::getText(variable, TEXT_LENGTH);
    ListReader::end();
}

void askReal(float& variable) {
    ListReader::begin(CONSOLE_UNIT);
    ListReader::getReal32(variable);
    ListReader::end();
}

void sayReal(float value) {
    ListWriter::begin(CONSOLE_UNIT);
    ListWriter::putReal32(value);
    ListWriter::end();
}

void introduce() {
    say("Welcome to the Kramers-Kronig integration routine!");
    say("You have to supply an input file containing two columns:");
    say("First column: Energy values given in electron volts.");
    say("Second column: values for f' in electron units.");
    say("The first line of the input file should contain only one number:");
    say("The number of energy entries in the file.");
    say("To achieve sufficient precision, the energy values should run at least");
    say("up to four times the k-edge value of the corresponding element.");
    say("You can always try to improve your sensitivity by going further.");
    say("Around the concerned absorption edge it is advised to accumulate");
    say("data-points in a distance of 0.5 electron volts during the measurement of f``.");
    say("Do you need more information about the data-preparation? (y/n)");
}

void adviseOnData() {
    say("A theoretical data-file up to the required energy values can be looked up");
    say("in the international tables or on online databases.");
    say("Use the Relativistic Hartree-Fock-Slater scattering factors given in");
    say("https://physics.nist.gov/PhysRefData/FFast/html/form.html");
    say("In the vicinity of the concerned absorption edge, delete the datapoints");
    say("and replace them by your own absorption data.");
    say("This program will interpolate everything to 0.5 eV steps and write");
    say("the result of f` and f`` as a function of energy in a 3 column output file.");
}

// Asks for the range until it is confirmed and lies inside the tables.
void askRange() {
    for (;;) {
        say("Please tell me the lowest output energy you need for your f` values:");
        askReal(LowEnergy);
        say("...and the highest energy up to which I shall integrate:");
        askReal(HighEnergy);
        say("The calculation of f` will follow between");
        sayReal(LowEnergy);
        say("and");
        sayReal(HighEnergy);
        say("if you are happy with these values type \"y\" ");
        askText(Answer);
        if (!isYes(Answer)) continue;
        if (rangeFitsTables(LowEnergy, HighEnergy)) return;
        say("The energies must lie between 0.5 and 500000 eV; please try again.");
    }
}

}  // namespace

bool isYes(const char* answer) { return textio::textEquals(answer, TEXT_LENGTH, "y", 1); }

std::int32_t runDialogue() {
    introduce();
    askText(Answer);
    if (isYes(Answer)) adviseOnData();

    for (;;) {
        say("Please tell me the name of your input file:");
        askText(InputFileName);
        SpectrumRefusal refusal = readSpectrum(InputFileName);
        if (refusal != SpectrumRefusal::NONE) {
            const char* text = refusalText(refusal);
            sayText(text, static_cast<int>(std::strlen(text)));
            continue;
        }
        buildGrid();

        say("and tell me the name of file where I shall write the output values:");
        askText(ResultFileName);
        textio::openUnit(RESULT_UNIT, ResultFileName, TEXT_LENGTH);

        say("I am interpolating the input file from 0 to");
        ListWriter::begin(CONSOLE_UNIT);
        ListWriter::putInt32(TopEnergy);
        ListWriter::end();
        say("in 0.5 eV steps....");
        interpolateGrid();

        askRange();
        writeResultRows();

        say("all integrated without divergences and written to output file");
        sayText(ResultFileName, TEXT_LENGTH);
        say(" ");
        say("Written in December 2026 by the kkfprime developers.");
        say("have a nice day!!");
        say("do you need another calculation (y/n)?");
        askText(Answer);
        if (!isYes(Answer)) return 0;
    }
}

}  // namespace transform
