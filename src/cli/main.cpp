// The tracksmith executable: everything but argument hand-over lives in the
// library (cli/driver.hpp).
#include "tracksmith/cli/driver.hpp"

int main(int argc, char** argv) { return tracksmith::cli::run(argc, argv); }
