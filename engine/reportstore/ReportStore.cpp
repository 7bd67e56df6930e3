#include "ReportStore.h"
