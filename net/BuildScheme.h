// The scheme this build reaches the publisher's servers with (PUBLISHER_SCHEME).
#pragma once

#include "PublisherHosts.h"
#include "UrlRules.h"

const PublisherScheme kBuildScheme = MELVORA_PUBLISHER_HTTPS ? PublisherScheme::Https : PublisherScheme::Http;
