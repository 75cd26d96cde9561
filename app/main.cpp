#include "app/AltimoApp.h"

int main(int argc, char** argv)
{
    CAltimoApp app(argc, argv);
    return app.InitInstance();
}
