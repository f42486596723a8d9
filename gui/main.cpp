#include "gui/tarnfield_app.h"

int main(int argc, char** argv) {
    CTarnfieldApp app(argc, argv);
    return app.InitInstance();
}
