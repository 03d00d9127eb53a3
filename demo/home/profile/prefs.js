user_pref("browser.startup.homepage", "about:blank");
user_pref("browser.download.useDownloadDir", true);
