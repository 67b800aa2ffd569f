// zorvane: stamps watermarks and page numbers onto PDF pages. The work is done by CZorvaneApp.
#include "app/zorvane_app.h"

int main(int argc, char** argv) { return quarn::CZorvaneApp::Instance().Main(argc, argv); }
