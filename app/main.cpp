// zorvane: stamps watermarks and page numbers onto PDF pages. The work is done by CZorvaneApp.
#include <malloc.h>

#include <climits>

#include "app/zorvane_app.h"

int main(int argc, char** argv) {
  const int status = quarn::CZorvaneApp::Instance().Main(argc, argv);
  // The process ends: what its static objects free at exit goes back to the system with it,
  // not first block by block (a brk that shrinks the heap for each large block freed).
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
  return status;
}
