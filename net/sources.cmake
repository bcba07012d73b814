melvora_folder(net
    CORE UrlRules.cpp DownloadProgress.cpp ReplyReader.cpp)
