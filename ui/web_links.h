// The web pages the top row opens. The server's own addresses are the operators' to change, here.
#pragma once

constexpr char kWebsiteAddress[] = "https://vardenhal.example/";
constexpr char kDiscordAddress[] = "https://vardenhal.example/discord";
constexpr char kYoutubeAddress[] = "https://www.youtube.com/";
constexpr char kInstagramAddress[] = "https://www.instagram.com/";
constexpr char kTiktokAddress[] = "https://www.tiktok.com/@vardenhal";
