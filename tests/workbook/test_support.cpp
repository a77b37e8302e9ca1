// Shared helpers of the workbook tests live in test_support.h.
