// Whole-series results: every bar's value of an indicator in one call.
#pragma once
