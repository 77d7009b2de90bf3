// String-table ids of the counted-string tests' own texts.
#pragma once

#define IDS_TEST_253 9253          // 253 bytes
#define IDS_TEST_254 9254          // 254 bytes
#define IDS_TEST_255 9255          // 255 bytes
#define IDS_TEST_509 9509          // 509 bytes
#define IDS_TEST_510 9510          // 510 bytes
#define IDS_TEST_EMBEDDED_NUL 9600 // "ab", NUL, "cd"
#define IDS_TEST_EMPTY 9601
#define IDS_TEST_MISSING 9602 // not in the table
