// The tracksmith executable: everything but argument hand-over lives in the
// library (cli/driver.hpp).
#include "cli/driver.hpp"

int main(int argc, char** argv) { return cli::run(argc, argv); }
