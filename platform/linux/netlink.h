// rtnetlink reader and message parser.
#pragma once
