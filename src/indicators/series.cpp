// Whole-series results. PLACEHOLDER until implemented.
#include "indicators/series.h"
