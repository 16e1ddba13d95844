#include "app/app.h"

int main(int argc, char** argv) { return lumo::run_app(argc, argv); }
