#include "vdrive_fixture.h"
