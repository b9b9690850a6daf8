// Ids of the framework tests' own resources.
#pragma once

#define IDD_FRAMEWORK_TEST 300
#define IDC_TEST_EDIT 301
#define IDC_TEST_BUTTON 302
