#include "netlink.h"
