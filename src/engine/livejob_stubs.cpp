// Placeholders for the live recording jobs of livejob.h, so that the job thread links before the live
// remux exists. Each does nothing; the job thread still reports (7, code) for their operations. The
// live recording work replaces this whole file.
#include "engine/livejob.h"

void global_effectstart(const char*, const char*, int) {}
void global_effectend() {}
void global_setkeeplocal(bool) {}
void _global_startrecording() {}
void _global_endrecording() {}
