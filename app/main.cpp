#include "app/laurel.h"

int main(int argc, char** argv) {
    laurel::win::laurel app;
    return app.Run(argc, argv);
}
