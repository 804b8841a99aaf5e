/* The module's version, for the version resource and the release package. */
#pragma once

#define QM_VERSION_NUMBERS 0, 20, 0, 7
#define QM_VERSION_TEXT "Ver.0.20"
#define QM_PRODUCT_VERSION_TEXT "0, 20, 0, 7"
#define QM_RELEASE "0.20"
