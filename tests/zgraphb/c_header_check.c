/* Compiled as C, so the public header stays usable from C. */
#include "zgraphb/gbm.h"

int zgraphb_c_guess_filetype(const char* fn) {
  int ft = -1;
  return gbm_guess_filetype(fn, &ft) == GBM_ERR_OK ? ft : -1;
}
