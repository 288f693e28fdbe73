#include "app/app_main.h"

int main(int argc, char** argv) { return kf::ui::runKitforge(argc, argv); }
