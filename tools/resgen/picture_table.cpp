// The picture rows: one per file, sizes and grids derived from where the game cuts and draws each picture. Where
// two entries share a file, the larger cut won. The skill backgrounds that are drawn unturned from the screen's
// corner (Pelun's and Quen's scroll by a screen's height) cover the screen; the turning ones are field-sized.
#include "tools/resgen/picture_table.h"

#include <algorithm>
#include <cstring>

#include "game/match/block.h"

const PictureRow kPictureRows[] = {
    {"res/BackGround/loading.jpg", 0, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Frame/loadingMark.png", 1, -1, 64, 64, 64, 64, 1, 1, 0, kPictureTransparent},
    {"res/Frame/loadingText.png", 2, -1, 200, 40, 200, 40, 1, 1, 0, kPictureTransparent},
    {"res/BackGround/stageKessa.png", 3, -1, 640, 480, 640, 480, 1, 1, 0, kPictureTransparent|kPictureFieldHoles},
    {"res/BackGround/stageKessaField1.png", 4, -1, 180, 420, 180, 420, 1, 1, 0, 0},
    {"res/BackGround/stageKessaField2.png", 5, -1, 180, 420, 180, 420, 1, 1, 0, 0},
    {"res/BackGround/stageKessaNextBlock.png", 6, -1, 60, 180, 60, 180, 1, 1, 0, 0},
    {"res/BackGround/stagePelun.png", 7, -1, 640, 480, 640, 480, 1, 1, 0, kPictureTransparent|kPictureFieldHoles},
    {"res/BackGround/stagePelunField1.png", 8, -1, 180, 420, 180, 420, 1, 1, 0, 0},
    {"res/BackGround/stagePelunField2.png", 9, -1, 180, 420, 180, 420, 1, 1, 0, 0},
    {"res/BackGround/stagePelunNextBlock.png", 10, -1, 60, 180, 60, 180, 1, 1, 0, 0},
    {"res/BackGround/stageFiora.png", 11, -1, 640, 480, 640, 480, 1, 1, 0, kPictureTransparent|kPictureFieldHoles},
    {"res/BackGround/stageFioraField1.png", 12, -1, 180, 420, 180, 420, 1, 1, 0, 0},
    {"res/BackGround/stageFioraField2.png", 13, -1, 180, 420, 180, 420, 1, 1, 0, 0},
    {"res/BackGround/stageFioraNextBlock.png", 14, -1, 60, 180, 60, 180, 1, 1, 0, 0},
    {"res/BackGround/stageVellis.png", 15, -1, 640, 480, 640, 480, 1, 1, 0, kPictureTransparent|kPictureFieldHoles},
    {"res/BackGround/stageVellisField1.png", 16, -1, 180, 420, 180, 420, 1, 1, 0, 0},
    {"res/BackGround/stageVellisField2.png", 17, -1, 180, 420, 180, 420, 1, 1, 0, 0},
    {"res/BackGround/stageVellisNextBlock.png", 18, -1, 60, 180, 60, 180, 1, 1, 0, 0},
    {"res/BackGround/stageObren.png", 19, -1, 640, 480, 640, 480, 1, 1, 0, kPictureTransparent|kPictureFieldHoles},
    {"res/BackGround/stageObrenField1.png", 20, -1, 180, 420, 180, 420, 1, 1, 0, 0},
    {"res/BackGround/stageObrenField2.png", 21, -1, 180, 420, 180, 420, 1, 1, 0, 0},
    {"res/BackGround/stageObrenNextBlock.png", 22, -1, 60, 180, 60, 180, 1, 1, 0, 0},
    {"res/BackGround/stageQuen.png", 23, -1, 640, 480, 640, 480, 1, 1, 0, kPictureTransparent|kPictureFieldHoles},
    {"res/BackGround/stageQuenField1.png", 24, -1, 180, 420, 180, 420, 1, 1, 0, 0},
    {"res/BackGround/stageQuenField2.png", 25, -1, 180, 420, 180, 420, 1, 1, 0, 0},
    {"res/BackGround/stageQuenNextBlock.png", 26, -1, 60, 180, 60, 180, 1, 1, 0, 0},
    {"res/BackGround/stageWix.png", 27, -1, 640, 480, 640, 480, 1, 1, 0, kPictureTransparent|kPictureFieldHoles},
    {"res/BackGround/stageWixField1.png", 28, -1, 180, 420, 180, 420, 1, 1, 0, 0},
    {"res/BackGround/stageWixField2.png", 29, -1, 180, 420, 180, 420, 1, 1, 0, 0},
    {"res/BackGround/stageWixNextBlock.png", 30, -1, 60, 180, 60, 180, 1, 1, 0, 0},
    {"res/BackGround/KessaBG.jpg", 31, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/BackGround/PelunBG.jpg", 32, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/BackGround/FioraBG.jpg", 33, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/BackGround/VellisBG.jpg", 34, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/BackGround/ObrenBG.jpg", 35, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/BackGround/QuenBG.jpg", 36, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/BackGround/pose.jpg", 37, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Frame/field.png", 38, -1, 180, 396, 180, 396, 1, 1, 0, kPictureTransparent},
    {"res/Frame/nextBlock.png", 39, -1, 60, 180, 60, 180, 1, 1, 0, kPictureTransparent},
    {"res/Frame/getBlock.png", 40, -1, 100, 40, 100, 40, 1, 1, 0, kPictureTransparent},
    {"res/Block/skillBall.png", 41, -1, 18, 18, 18, 18, 1, 1, 0, kPictureTransparent},
    {"res/Block/charge.png", 42, -1, 100, 20, 100, 20, 1, 1, 0, kPictureTransparent},
    {"res/Frame/ready.png", 43, -1, 320, 64, 64, 64, 5, 1, 'c', kPictureTransparent},
    {"res/Frame/start.png", 44, -1, 256, 64, 256, 64, 1, 1, 0, kPictureTransparent},
    {"res/Frame/winner.png", 45, -1, 180, 64, 180, 64, 1, 1, 0, kPictureTransparent},
    {"res/Frame/losser.png", 46, -1, 180, 64, 180, 64, 1, 1, 0, kPictureTransparent},
    {"res/Frame/winMark.png", 47, -1, 32, 32, 32, 32, 1, 1, 0, kPictureTransparent},
    {"res/Frame/fire.png", 48, -1, 512, 256, 256, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Frame/Pose/backTitle.png", 49, -1, 200, 40, 200, 40, 1, 1, 0, kPictureTransparent},
    {"res/Frame/Pose/backGame.png", 50, -1, 200, 40, 200, 40, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/skillName.png", 51, -1, 180, 25, 180, 25, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/skillName_a_line.png", 52, -1, 176, 8, 176, 8, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Kessa/kessa1.png", 53, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Kessa/kessa2.png", 54, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Kessa/kessa3.png", 55, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Pelun/pelun1.png", 56, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Pelun/pelun2.png", 57, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Pelun/pelun3.png", 58, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Fiora/fio1.png", 59, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Fiora/fio2.png", 60, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Fiora/fio3.png", 61, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Vellis/vellis1.png", 62, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Vellis/vellis2.png", 63, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Vellis/vellis3.png", 64, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Obren/obren1.png", 65, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Obren/obren2.png", 66, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Obren/obren3.png", 67, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Quen/quen1.png", 68, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Quen/quen2.png", 69, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Quen/quen3.png", 70, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Wix/wix1.png", 71, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Wix/wix2.png", 72, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Wix/wix3.png", 73, -1, 160, 24, 160, 24, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Kessa/skillName_a_kessa1.png", 74, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Kessa/skillName_a_kessa2.png", 75, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Kessa/skillName_a_kessa3.png", 76, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Pelun/skillName_a_pelun1.png", 77, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Pelun/skillName_a_pelun2.png", 78, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Pelun/skillName_a_pelun3.png", 79, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Fiora/skillName_a_fio1.png", 80, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Fiora/skillName_a_fio2.png", 81, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Fiora/skillName_a_fio3.png", 82, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Vellis/skillName_a_vellis1.png", 83, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Vellis/skillName_a_vellis2.png", 84, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Vellis/skillName_a_vellis3.png", 85, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Obren/skillName_a_obren1.png", 86, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Obren/skillName_a_obren2.png", 87, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Obren/skillName_a_obren3.png", 88, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Quen/skillName_a_quen1.png", 89, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Quen/skillName_a_quen2.png", 90, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Quen/skillName_a_quen3.png", 91, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Wix/skillName_a_wix1.png", 92, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Wix/skillName_a_wix2.png", 93, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Frame/SkillName/Wix/skillName_a_wix3.png", 94, -1, 600, 60, 600, 60, 1, 1, 0, kPictureTransparent},
    {"res/Effect/SkillBack/Kessa/kessaSkillBackA.png", 95, -1, 180, 420, 180, 420, 1, 1, 0, kPictureTransparent},
    {"res/Effect/SkillBack/Kessa/kessaSkillBackB.png", 96, -1, 180, 420, 180, 420, 1, 1, 0, kPictureTransparent},
    {"res/Effect/SkillBack/Pelun/pelunSkillBackA.png", 97, -1, 640, 480, 640, 480, 1, 1, 0, kPictureTransparent},
    {"res/Effect/SkillBack/Pelun/pelunSkillBackB.png", 98, -1, 180, 420, 180, 420, 1, 1, 0, kPictureTransparent},
    {"res/Effect/SkillBack/Fiora/fioSkillBackA.png", 99, -1, 180, 420, 180, 420, 1, 1, 0, kPictureTransparent},
    {"res/Effect/SkillBack/Fiora/fioSkillBackB.png", 100, -1, 180, 420, 180, 420, 1, 1, 0, kPictureTransparent},
    {"res/Effect/SkillBack/Vellis/vellisSkillBackA.png", 101, -1, 180, 420, 180, 420, 1, 1, 0, kPictureTransparent},
    {"res/Effect/SkillBack/Vellis/vellisSkillBackB.png", 102, -1, 180, 420, 180, 420, 1, 1, 0, kPictureTransparent},
    {"res/Effect/SkillBack/Vellis/vellisSkillBackC.png", 103, -1, 180, 420, 180, 420, 1, 1, 0, kPictureTransparent},
    {"res/Effect/SkillBack/Obren/obrenSkillBackA.png", 104, -1, 640, 480, 640, 480, 1, 1, 0, kPictureTransparent},
    {"res/Effect/SkillBack/Obren/obrenSkillBackB.png", 105, -1, 180, 420, 180, 420, 1, 1, 0, kPictureTransparent},
    {"res/Effect/SkillBack/Obren/obrenSkillBackC.png", 106, -1, 180, 420, 180, 420, 1, 1, 0, kPictureTransparent},
    {"res/Effect/SkillBack/Quen/quenSkillBack.png", 107, -1, 640, 480, 640, 480, 1, 1, 0, kPictureTransparent},
    {"res/Effect/SkillBack/Wix/WixSkillBackA.png", 108, -1, 180, 420, 180, 420, 1, 1, 0, kPictureTransparent},
    {"res/Effect/SkillBack/Wix/WixSkillBackB.png", 109, -1, 180, 420, 180, 420, 1, 1, 0, kPictureTransparent},
    {"res/Block/nextLine.png", 110, -1, 60, 60, 60, 60, 1, 1, 0, kPictureTransparent},
    {"res/Block/nextBox.png", 111, -1, 60, 60, 60, 60, 1, 1, 0, kPictureTransparent},
    {"res/Block/nextS.png", 112, -1, 60, 60, 60, 60, 1, 1, 0, kPictureTransparent},
    {"res/Block/nextTurnS.png", 113, -1, 60, 60, 60, 60, 1, 1, 0, kPictureTransparent},
    {"res/Block/nextL.png", 114, -1, 60, 60, 60, 60, 1, 1, 0, kPictureTransparent},
    {"res/Block/nextTurnL.png", 115, -1, 60, 60, 60, 60, 1, 1, 0, kPictureTransparent},
    {"res/Block/nextDeko.png", 116, -1, 60, 60, 60, 60, 1, 1, 0, kPictureTransparent},
    {"res/Block/nextLineS.png", 117, -1, 60, 60, 60, 60, 1, 1, 0, kPictureTransparent},
    {"res/Block/nextBoxS.png", 118, -1, 60, 60, 60, 60, 1, 1, 0, kPictureTransparent},
    {"res/Block/nextSS.png", 119, -1, 60, 60, 60, 60, 1, 1, 0, kPictureTransparent},
    {"res/Block/nextTurnSS.png", 120, -1, 60, 60, 60, 60, 1, 1, 0, kPictureTransparent},
    {"res/Block/nextLS.png", 121, -1, 60, 60, 60, 60, 1, 1, 0, kPictureTransparent},
    {"res/Block/nextTurnLS.png", 122, -1, 60, 60, 60, 60, 1, 1, 0, kPictureTransparent},
    {"res/Block/nextDekoS.png", 123, -1, 60, 60, 60, 60, 1, 1, 0, kPictureTransparent},
    {"res/Block/line_chip.jpg", 124, -1, 18, 18, 18, 18, 1, 1, 0, 0},
    {"res/Block/box_chip.jpg", 125, -1, 18, 18, 18, 18, 1, 1, 0, 0},
    {"res/Block/s_chip.jpg", 126, -1, 18, 18, 18, 18, 1, 1, 0, 0},
    {"res/Block/s_turn_chip.jpg", 127, -1, 18, 18, 18, 18, 1, 1, 0, 0},
    {"res/Block/l_chip.jpg", 128, -1, 18, 18, 18, 18, 1, 1, 0, 0},
    {"res/Block/l_turn_chip.jpg", 129, -1, 18, 18, 18, 18, 1, 1, 0, 0},
    {"res/Block/deko_chip.jpg", 130, -1, 18, 18, 18, 18, 1, 1, 0, 0},
    {"res/Block/stopTime_chip.jpg", 131, -1, 18, 18, 18, 18, 1, 1, 0, 0},
    {"res/Block/1PChip.jpg", 132, -1, 18, 18, 18, 18, 1, 1, 0, 0},
    {"res/Block/2PChip.jpg", 133, -1, 18, 18, 18, 18, 1, 1, 0, 0},
    {"res/Block/1PSendChip.jpg", 134, -1, 18, 18, 18, 18, 1, 1, 0, 0},
    {"res/Block/2PSendChip.jpg", 135, -1, 18, 18, 18, 18, 1, 1, 0, 0},
    {"res/Frame/talkFrame.png", 136, -1, 640, 480, 640, 480, 1, 1, 0, kPictureTransparent},
    {"res/Frame/talkWindow.png", 137, -1, 384, 160, 384, 160, 1, 1, 0, kPictureTransparent},
    {"res/Talk/beforeBattle/KessaP.jpg", 138, -1, 360, 1540, 360, 140, 1, 11, 'p', 0},
    {"res/Talk/beforeBattle/KessaA.jpg", 139, -1, 360, 1400, 360, 140, 1, 10, 'p', 0},
    {"res/Talk/beforeBattle/KessaB.jpg", 140, -1, 360, 1400, 360, 140, 1, 10, 'p', 0},
    {"res/Talk/beforeBattle/KessaC.jpg", 141, -1, 360, 1540, 360, 140, 1, 11, 'p', 0},
    {"res/Talk/beforeBattle/KessaD.jpg", 142, -1, 360, 1400, 360, 140, 1, 10, 'p', 0},
    {"res/Talk/beforeBattle/PelunP.jpg", 143, -1, 360, 560, 360, 140, 1, 4, 'p', 0},
    {"res/Talk/beforeBattle/PelunA.jpg", 144, -1, 360, 1540, 360, 140, 1, 11, 'p', 0},
    {"res/Talk/beforeBattle/PelunB.jpg", 145, -1, 360, 1260, 360, 140, 1, 9, 'p', 0},
    {"res/Talk/beforeBattle/PelunC.jpg", 146, -1, 360, 1820, 360, 140, 1, 13, 'p', 0},
    {"res/Talk/beforeBattle/PelunD.jpg", 147, -1, 360, 980, 360, 140, 1, 7, 'p', 0},
    {"res/Talk/beforeBattle/FioraP.jpg", 148, -1, 360, 980, 360, 140, 1, 7, 'p', 0},
    {"res/Talk/beforeBattle/FioraA.jpg", 149, -1, 360, 1540, 360, 140, 1, 11, 'p', 0},
    {"res/Talk/beforeBattle/FioraB.jpg", 150, -1, 360, 1260, 360, 140, 1, 9, 'p', 0},
    {"res/Talk/beforeBattle/FioraC.jpg", 151, -1, 360, 1400, 360, 140, 1, 10, 'p', 0},
    {"res/Talk/beforeBattle/FioraD.jpg", 152, -1, 360, 1120, 360, 140, 1, 8, 'p', 0},
    {"res/Talk/beforeBattle/VellisP.jpg", 153, -1, 360, 840, 360, 140, 1, 6, 'p', 0},
    {"res/Talk/beforeBattle/VellisA.jpg", 154, -1, 360, 1400, 360, 140, 1, 10, 'p', 0},
    {"res/Talk/beforeBattle/VellisB.jpg", 155, -1, 360, 1400, 360, 140, 1, 10, 'p', 0},
    {"res/Talk/beforeBattle/VellisC.jpg", 156, -1, 360, 1540, 360, 140, 1, 11, 'p', 0},
    {"res/Talk/beforeBattle/VellisD.jpg", 157, -1, 360, 840, 360, 140, 1, 6, 'p', 0},
    {"res/Talk/beforeBattle/ObrenP.jpg", 158, -1, 360, 1400, 360, 140, 1, 10, 'p', 0},
    {"res/Talk/beforeBattle/ObrenA.jpg", 159, -1, 360, 1260, 360, 140, 1, 9, 'p', 0},
    {"res/Talk/beforeBattle/ObrenB.jpg", 160, -1, 360, 1260, 360, 140, 1, 9, 'p', 0},
    {"res/Talk/beforeBattle/ObrenC.jpg", 161, -1, 360, 1260, 360, 140, 1, 9, 'p', 0},
    {"res/Talk/beforeBattle/ObrenD.jpg", 162, -1, 360, 980, 360, 140, 1, 7, 'p', 0},
    {"res/Talk/beforeBattle/QuenP.jpg", 163, -1, 360, 1120, 360, 140, 1, 8, 'p', 0},
    {"res/Talk/beforeBattle/QuenA.jpg", 164, -1, 360, 1400, 360, 140, 1, 10, 'p', 0},
    {"res/Talk/beforeBattle/QuenB.jpg", 165, -1, 360, 1120, 360, 140, 1, 8, 'p', 0},
    {"res/Talk/beforeBattle/QuenC.jpg", 166, -1, 360, 1680, 360, 140, 1, 12, 'p', 0},
    {"res/Talk/beforeBattle/QuenD.jpg", 167, -1, 360, 1120, 360, 140, 1, 8, 'p', 0},
    {"res/Talk/chara/kessaNormal.png", 168, -1, 2080, 256, 160, 256, 13, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/kessaSkillWait.png", 169, -1, 1600, 256, 160, 256, 10, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/kessaCrisis.png", 170, -1, 2080, 256, 160, 256, 13, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/kessaLose.png", 171, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/kessaSub2.png", 172, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/harnNormal.png", 173, -1, 1600, 256, 160, 256, 10, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/pelunNormal.png", 174, -1, 1760, 256, 160, 256, 11, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/pelunCorvane.png", 175, -1, 480, 256, 160, 256, 3, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/pelunHouki.png", 176, -1, 1760, 256, 160, 256, 11, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/pelunLose.png", 177, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/fioNormal.png", 178, -1, 1920, 256, 160, 256, 12, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/fioCrisis.png", 179, -1, 160, 256, 160, 256, 1, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/fioLose.png", 180, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/pobbNormal.png", 181, -1, 2080, 256, 160, 256, 13, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/salkNormal.png", 182, -1, 1440, 256, 160, 256, 9, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/vellisNormal.png", 183, -1, 1760, 256, 160, 256, 11, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/vellisSkill1.png", 184, -1, 160, 256, 160, 256, 1, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/vellisLose.png", 185, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/vantreNormal.png", 186, -1, 1440, 256, 160, 256, 9, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/obrenNormal.png", 187, -1, 1440, 256, 160, 256, 9, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/obrenCrisis.png", 188, -1, 1600, 256, 160, 256, 10, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/obrenLose.png", 189, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/lomielNormal.png", 190, -1, 960, 256, 160, 256, 6, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/drevo.png", 191, -1, 160, 256, 160, 256, 1, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/quenNormal.png", 192, -1, 1760, 256, 160, 256, 11, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/quenSub.png", 193, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/quenCrisis.png", 194, -1, 960, 256, 160, 256, 6, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/quenLose.png", 195, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Talk/chara/np.png", 196, -1, 32, 32, 32, 32, 1, 1, 0, kPictureTransparent},
    {"res/Talk/chara/light.png", 197, -1, 320, 240, 320, 240, 1, 1, 0, kPictureTransparent},
    {"res/Talk/afterBattle/kessaAfter.jpg", 198, -1, 360, 1120, 360, 140, 1, 8, 'r', 0},
    {"res/Talk/afterBattle/pelunAfter.jpg", 199, -1, 360, 1120, 360, 140, 1, 8, 'r', 0},
    {"res/Talk/afterBattle/fioraAfter.jpg", 200, -1, 360, 1120, 360, 140, 1, 8, 'r', 0},
    {"res/Talk/afterBattle/vellisAfter.jpg", 201, -1, 360, 1120, 360, 140, 1, 8, 'r', 0},
    {"res/Talk/afterBattle/obrenAfter.jpg", 202, -1, 360, 1120, 360, 140, 1, 8, 'r', 0},
    {"res/Talk/afterBattle/quenAfter.jpg", 203, -1, 360, 1120, 360, 140, 1, 8, 'r', 0},
    {"res/Talk/afterBattle/wixAfter.jpg", 204, -1, 360, 1120, 360, 140, 1, 8, 'r', 0},
    {"res/Character/Kessa/normal.png", 205, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Kessa/sub.png", 206, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Kessa/sub2.png", 207, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Kessa/crisis.png", 208, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Kessa/skillWait.png", 209, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Kessa/skill.png", 210, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Kessa/saisen.png", 211, 330, 480, 256, 160, 256, 3, 1, 'c', kPictureTransparent},
    {"res/Character/Kessa/allowHit.png", 212, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Kessa/stopTime.png", 213, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Kessa/windHit.png", 214, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Kessa/cold.png", 215, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Kessa/lose.png", 216, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Pelun/normal.png", 217, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Pelun/sub.png", 218, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Pelun/sub2.png", 219, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Pelun/crisis.png", 220, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Pelun/skillWait.png", 221, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Pelun/skill.png", 222, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Pelun/corvane.png", 223, 341, 640, 256, 160, 256, 4, 1, 'c', kPictureTransparent},
    {"res/Character/Pelun/allowHit.png", 224, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Pelun/stopTime.png", 225, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Pelun/windHit.png", 226, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Pelun/cold.png", 227, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Pelun/lose.png", 228, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Fiora/normal.png", 229, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Fiora/sub.png", 230, 231, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Fiora/crisis.png", 232, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Fiora/skillWait.png", 233, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Fiora/skill.png", 234, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Fiora/help.png", 235, 351, 480, 256, 160, 256, 3, 1, 'c', kPictureTransparent},
    {"res/Character/Fiora/allowHit.png", 236, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Fiora/stopTime.png", 237, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Fiora/windHit.png", 238, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Fiora/cold.png", 239, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Fiora/lose.png", 240, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Vellis/normal.png", 241, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Vellis/sub.png", 242, 243, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Vellis/crisis.png", 244, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Vellis/skillWait.png", 245, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Vellis/skill.png", 246, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Vellis/help.png", 247, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Vellis/allowHit.png", 248, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Vellis/stopTime.png", 249, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Vellis/windHit.png", 250, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Vellis/cold.png", 251, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Vellis/lose.png", 252, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Obren/normal.png", 253, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Obren/sub.png", 254, 255, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Obren/crisis.png", 256, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Obren/skillWait.png", 257, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Obren/skill.png", 258, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Obren/brandel.png", 259, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Obren/allowHit.png", 260, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Obren/stopTime.png", 261, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Obren/windHit.png", 262, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Obren/cold.png", 263, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Obren/lose.png", 264, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Quen/normal.png", 265, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Quen/sub.png", 266, 267, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Quen/crisis.png", 268, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Quen/skillWait.png", 269, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Quen/skill.png", 270, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Quen/help.png", 271, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Quen/allowHit.png", 272, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Quen/stopTime.png", 273, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Quen/windHit.png", 274, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Quen/cold.png", 275, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Quen/lose.png", 276, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Wix/normal.png", 277, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Wix/sub.png", 278, 279, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Wix/crisis.png", 280, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Wix/skillWait.png", 281, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Wix/skill.png", 282, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Wix/help.png", 283, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Wix/allowHit.png", 284, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Wix/stopTime.png", 285, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Wix/windHit.png", 286, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Wix/cold.png", 287, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/Wix/lose.png", 288, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Character/haka.png", 289, -1, 160, 256, 160, 256, 1, 1, 'c', kPictureTransparent},
    {"res/Character/Obren/drevo.png", 290, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Frame/Pose/Kessa/poseKessa0.jpg", 291, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Kessa/poseKessa1.jpg", 292, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Kessa/poseKessa2.jpg", 293, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Kessa/poseKessa3.jpg", 294, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Pelun/posePelun0.jpg", 295, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Pelun/posePelun1.jpg", 296, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Pelun/posePelun2.jpg", 297, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Pelun/posePelun3.jpg", 298, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Fiora/poseFio0.jpg", 299, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Fiora/poseFio1.jpg", 300, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Fiora/poseFio2.jpg", 301, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Fiora/poseFio3.jpg", 302, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Vellis/poseVellis0.jpg", 303, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Vellis/poseVellis1.jpg", 304, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Vellis/poseVellis2.jpg", 305, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Vellis/poseVellis3.jpg", 306, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Obren/poseObren0.jpg", 307, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Obren/poseObren1.jpg", 308, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Obren/poseObren2.jpg", 309, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Obren/poseObren3.jpg", 310, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Quen/poseQuen0.jpg", 311, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Quen/poseQuen1.jpg", 312, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Quen/poseQuen2.jpg", 313, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Quen/poseQuen3.jpg", 314, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Wix/poseWix0.jpg", 315, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Wix/poseWix1.jpg", 316, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Wix/poseWix2.jpg", 317, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/Wix/poseWix3.jpg", 318, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"res/Frame/Pose/dead.jpg", 319, -1, 200, 300, 200, 300, 1, 1, 0, 0},
    {"add/bgmNameKessa.png", 320, -1, 300, 30, 300, 30, 1, 1, 0, kPictureTransparent},
    {"res/Frame/BgmName/bgmNamePelun.png", 321, -1, 300, 30, 300, 30, 1, 1, 0, kPictureTransparent},
    {"res/Frame/BgmName/bgmNameFio.png", 322, -1, 300, 30, 300, 30, 1, 1, 0, kPictureTransparent},
    {"res/Frame/BgmName/bgmNameVellis.png", 323, -1, 300, 30, 300, 30, 1, 1, 0, kPictureTransparent},
    {"res/Frame/BgmName/bgmNameObren.png", 324, -1, 300, 30, 300, 30, 1, 1, 0, kPictureTransparent},
    {"res/Frame/BgmName/bgmNameQuen.png", 325, -1, 300, 30, 300, 30, 1, 1, 0, kPictureTransparent},
    {"res/Frame/BgmName/bgmNameWix.png", 326, -1, 300, 30, 300, 30, 1, 1, 0, kPictureTransparent},
    {"res/Character/Pelun/kinoko.png", 327, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Character/Kessa/orrant.png", 328, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/orrant.png", 329, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/saisenPlease.png", 331, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/saisenGet.png", 332, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/saisenMiss.png", 333, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/tarnu.png", 334, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/vintrel.png", 335, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/star1.png", 336, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/star2.png", 337, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/star3.png", 338, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/star4.png", 339, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/star5.png", 340, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/corvaneBall.png", 342, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/corvaneBeam.png", 343, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/corvaneBeamTurn.png", 344, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/corvaneRing.png", 345, -1, 380, 864, 380, 288, 1, 3, 'r', kPictureTransparent},
    {"res/Character/Pelun/houki.png", 346, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/pobbHop.png", 347, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/pobbStand.png", 348, -1, 320, 256, 160, 256, 2, 1, 'c', kPictureTransparent},
    {"res/Effect/curtain.png", 349, -1, 280, 204, 70, 204, 4, 1, 'c', kPictureTransparent},
    {"res/Effect/help.png", 350, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/salk.png", 352, -1, 480, 256, 160, 256, 3, 1, 'c', kPictureTransparent},
    {"res/Effect/allow.png", 353, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/eye.png", 354, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/knife.png", 355, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/knifeVellis.png", 356, -1, 480, 256, 160, 256, 3, 1, 'c', kPictureTransparent},
    {"res/Effect/crash.png", 357, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/blind.png", 358, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/vellisLv2.png", 359, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/vellisLv3.png", 360, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/telvix.png", 361, -1, 320, 800, 320, 160, 1, 5, 'r', kPictureTransparent},
    {"res/Effect/ossivo.png", 362, -1, 306, 480, 102, 480, 3, 1, 'c', kPictureTransparent},
    {"res/Effect/obrenLv2.png", 363, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/wind.png", 364, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/quenLv1.png", 365, -1, 480, 256, 160, 256, 3, 1, 'c', kPictureTransparent},
    {"res/Effect/photo.png", 366, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/quenLv2.png", 367, -1, 128, 128, 128, 128, 1, 1, 0, kPictureTransparent},
    {"res/Effect/quenLv3Wind.png", 368, -1, 768, 382, 256, 382, 3, 1, 'c', kPictureTransparent},
    {"res/Effect/quenLv3.png", 369, -1, 320, 480, 320, 160, 1, 3, 'r', kPictureTransparent},
    {"res/Delphy/delphy.png", 370, -1, 160, 200, 160, 200, 1, 1, 0, kPictureTransparent},
    {"res/Delphy/kittle.png", 371, -1, 160, 200, 160, 200, 1, 1, 0, kPictureTransparent},
    {"res/Delphy/staff1.png", 372, -1, 160, 200, 160, 200, 1, 1, 0, kPictureTransparent},
    {"res/Delphy/staff2.png", 373, -1, 160, 200, 160, 200, 1, 1, 0, kPictureTransparent},
    {"res/Delphy/staff3.png", 374, -1, 160, 200, 160, 200, 1, 1, 0, kPictureTransparent},
    {"res/Delphy/window.png", 375, -1, 300, 248, 300, 248, 1, 1, 0, 0},
    {"res/Delphy/window2.png", 376, -1, 300, 248, 300, 248, 1, 1, 0, 0},
    {"res/Delphy/back.jpg", 377, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Delphy/cg/01.jpg", 378, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Delphy/cg/02.jpg", 379, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Delphy/cg/03.jpg", 380, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Delphy/cg/04.jpg", 381, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Delphy/cg/05.jpg", 382, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Delphy/cg/06.jpg", 383, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Delphy/cg/07.jpg", 384, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Delphy/cg/08.jpg", 385, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Delphy/cg/09.jpg", 386, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Delphy/cg/10.jpg", 387, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Delphy/cg/11.jpg", 388, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Delphy/cg/12.jpg", 389, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Delphy/cg/13.jpg", 390, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Delphy/textwindow.png", 391, -1, 472, 88, 472, 88, 1, 1, 0, kPictureTransparent},
    {"res/Delphy/delphyBefore.png", 392, -1, 460, 336, 460, 84, 1, 4, 'r', kPictureTransparent},
    {"res/Delphy/delphyA.png", 393, -1, 460, 84, 460, 84, 1, 1, 'r', kPictureTransparent},
    {"res/Delphy/delphyB.png", 394, -1, 460, 84, 460, 84, 1, 1, 'r', kPictureTransparent},
    {"res/Delphy/delphyCA.png", 395, -1, 460, 840, 460, 84, 1, 10, 'r', kPictureTransparent},
    {"res/Delphy/delphyCB.png", 396, -1, 460, 924, 460, 84, 1, 11, 'r', kPictureTransparent},
    {"res/Delphy/delphyCC.png", 397, -1, 460, 336, 460, 84, 1, 4, 'r', kPictureTransparent},
    {"add/delphyD.png", 398, -1, 460, 1008, 460, 84, 1, 12, 'r', kPictureTransparent},
    {"res/Delphy/delphyE.png", 399, -1, 460, 1092, 460, 84, 1, 13, 'r', kPictureTransparent},
    {"res/Delphy/delphyF.png", 400, -1, 460, 924, 460, 84, 1, 11, 'r', kPictureTransparent},
    {"res/Delphy/delphyG.png", 401, -1, 460, 84, 460, 84, 1, 1, 'r', kPictureTransparent},
    {"res/Delphy/delphyAfter.png", 402, -1, 460, 84, 460, 84, 1, 1, 'r', kPictureTransparent},
    {"res/Delphy/chara.png", 403, -1, 200, 420, 200, 420, 1, 1, 0, kPictureTransparent},
    {"res/Delphy/bar.png", 404, -1, 512, 32, 512, 32, 1, 1, 0, kPictureTransparent},
    {"add/music.png", 405, -1, 640, 480, 640, 480, 1, 1, 0, kPictureTransparent},
    {"res/Delphy/select.png", 406, -1, 160, 200, 160, 200, 1, 1, 0, kPictureTransparent},
    {"res/Delphy/quorra.png", 407, -1, 56, 80, 56, 80, 1, 1, 0, kPictureTransparent},
    {"add/title.png", 408, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Frame/menu.png", 409, -1, 256, 312, 256, 52, 1, 6, 'r', kPictureTransparent},
    {"res/Frame/cursol.png", 410, -1, 64, 64, 64, 64, 1, 1, 0, kPictureTransparent},
    {"res/Choice/CharacterSelectFrame.png", 411, -1, 640, 480, 640, 480, 1, 1, 0, kPictureTransparent|kPictureChoiceHoles},
    {"res/Choice/CharacterSelect1Pside.png", 412, -1, 210, 342, 210, 342, 1, 1, 0, kPictureTransparent},
    {"res/Choice/CharacterSelect2Pside.png", 413, -1, 210, 342, 210, 342, 1, 1, 0, kPictureTransparent},
    {"res/Choice/CharacterSelect1PsideChara.png", 414, -1, 1470, 328, 210, 328, 7, 1, 'c', kPictureTransparent},
    {"res/Choice/CharacterSelect2PsideChara.png", 415, -1, 1470, 328, 210, 328, 7, 1, 'c', kPictureTransparent},
    {"res/Choice/CharacterSelectStory.png", 416, -1, 1260, 328, 210, 328, 6, 1, 'c', kPictureTransparent},
    {"res/Choice/CharacterSelectName.png", 417, -1, 174, 300, 174, 50, 1, 6, 'r', kPictureTransparent},
    {"res/Choice/select.png", 418, -1, 64, 64, 64, 64, 1, 1, 0, kPictureTransparent},
    {"res/Choice/plaerselectA.png", 419, -1, 176, 64, 176, 64, 1, 1, 0, kPictureTransparent},
    {"res/Choice/plaerselectB.png", 420, -1, 176, 64, 176, 64, 1, 1, 0, kPictureTransparent},
    {"res/Option/optionBG.jpg", 421, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Option/option.png", 422, -1, 640, 40, 640, 40, 1, 1, 0, kPictureTransparent},
    {"res/Option/1.png", 423, -1, 64, 32, 64, 32, 1, 1, 0, kPictureTransparent},
    {"res/Option/2.png", 424, -1, 64, 32, 64, 32, 1, 1, 0, kPictureTransparent},
    {"res/Option/3.png", 425, -1, 64, 32, 64, 32, 1, 1, 0, kPictureTransparent},
    {"res/Option/full.png", 426, -1, 128, 32, 128, 32, 1, 1, 0, kPictureTransparent},
    {"res/Option/window.png", 427, -1, 128, 32, 128, 32, 1, 1, 0, kPictureTransparent},
    {"res/Option/rand.png", 428, -1, 128, 32, 128, 32, 1, 1, 0, kPictureTransparent},
    {"res/Option/oneFives.png", 429, -1, 128, 32, 128, 32, 1, 1, 0, kPictureTransparent},
    {"res/Option/on.png", 430, -1, 64, 32, 64, 32, 1, 1, 0, kPictureTransparent},
    {"res/Option/off.png", 431, -1, 64, 32, 64, 32, 1, 1, 0, kPictureTransparent},
    {"res/Option/volPalm.png", 432, -1, 8, 8, 8, 8, 1, 1, 0, kPictureTransparent},
    {"res/Talk/end/staff.png", 433, -1, 640, 2280, 640, 40, 1, 57, 'y', kPictureTransparent},
    {"res/Talk/end/endroleBG.jpg", 434, -1, 640, 960, 640, 960, 1, 1, 0, 0},
    {"res/Talk/end/KessaEpilogue.jpg", 435, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Talk/end/kessaEp.png", 436, -1, 528, 640, 528, 80, 1, 8, 'r', kPictureTransparent},
    {"res/Talk/end/PelunEpilogue.jpg", 437, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Talk/end/pelunEp.png", 438, -1, 528, 560, 528, 80, 1, 7, 'r', kPictureTransparent},
    {"res/Talk/end/FioraEpilogue.jpg", 439, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Talk/end/fioraEp.png", 440, -1, 528, 640, 528, 80, 1, 8, 'r', kPictureTransparent},
    {"res/Talk/end/VellisEpilogue.jpg", 441, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Talk/end/vellisEp.png", 442, -1, 528, 640, 528, 80, 1, 8, 'r', kPictureTransparent},
    {"res/Talk/end/ObrenEpilogue.jpg", 443, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Talk/end/obrenEp.png", 444, -1, 528, 560, 528, 80, 1, 7, 'r', kPictureTransparent},
    {"res/Talk/end/QuenEpilogue.jpg", 445, -1, 640, 480, 640, 480, 1, 1, 0, 0},
    {"res/Talk/end/quenEp.png", 446, -1, 528, 640, 528, 80, 1, 8, 'r', kPictureTransparent},
};

const int kPictureRowCount = static_cast<int>(sizeof(kPictureRows) / sizeof(kPictureRows[0]));

const PictureRow* FindPictureRow(const char* path) {
    for (const PictureRow& row : kPictureRows) {
        if (std::strcmp(row.path, path) == 0) return &row;
    }
    return nullptr;
}

const PictureRow* FindPictureRowForEntry(int entry) {
    for (const PictureRow& row : kPictureRows) {
        if (row.entry == entry || row.otherEntry == entry) return &row;
    }
    return nullptr;
}

namespace {

// Blocks read as blocks only when every piece kind keeps one colour the eye knows it by: line, box, S, turned S,
// L, turned L, T. Locked cells take their side's quieter colour, so a falling piece stands out against them.
const uint32_t kPieceKindColours[7] = {0x30C8E8, 0xE8D030, 0x40C850, 0xE04848, 0xE89030, 0x4870E8, 0xB050D8};

// Colours fixed by what the picture shows rather than by the hue walk; false when the entry has none.
bool FixedColour(int entry, int cell, uint32_t* colour) {
    if (entry >= 124 && entry <= 130) {  // cell chips of the seven shapes
        *colour = kPieceKindColours[entry - 124];
        return true;
    }
    if (entry >= 110 && entry <= 123) {  // previews, in their shape's colour
        *colour = kPieceKindColours[baseKind(entry - 110)];
        return true;
    }
    switch (entry) {
        case 41: *colour = 0xFFD040; return true;   // skill chip mark: gold
        case 42: *colour = 0xF0E060; return true;   // level lamp
        case 131: *colour = 0xA8D8F0; return true;  // stopped-time chip: ice
        case 197: *colour = 0xFFF0A0; return true;  // the prologue's light
        case 137: *colour = 0xF0F0E8; return true;  // the talk window: a white balloon round the coloured pages
        case 196: *colour = 0xC87838; return true;  // the thrown parcel
        case 406: *colour = 0xFFE040; return true;  // the music room's pointer, bright on any backdrop
        case 132: *colour = 0x8098B8; return true;  // side 0's locked cells
        case 133: *colour = 0xB89880; return true;  // side 1's locked cells
        case 134: *colour = 0x9CA0A8; return true;  // side 0's pending garbage
        case 135: *colour = 0xA8A09C; return true;  // side 1's pending garbage
        default: break;
    }
    (void)cell;
    return false;
}

uint32_t HsvColour(int hue, double s, double v) {
    const double c = v * s;
    const double h = hue / 60.0;
    const double x = c * (1 - (h - 2 * static_cast<int>(h / 2) - 1 < 0 ? -(h - 2 * static_cast<int>(h / 2) - 1)
                                                                         : h - 2 * static_cast<int>(h / 2) - 1));
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(h)) {
        case 0: r = c, g = x; break;
        case 1: r = x, g = c; break;
        case 2: g = c, b = x; break;
        case 3: g = x, b = c; break;
        case 4: r = x, b = c; break;
        default: r = c, b = x; break;
    }
    const double m = v - c;
    auto channel = [m](double value) { return static_cast<uint32_t>((value + m) * 255.0 + 0.5); };
    return channel(r) << 16 | channel(g) << 8 | channel(b);
}

}  // namespace

bool PictureIsTalkPortrait(const PictureRow& row) {
    return row.cellWidth == 160 && row.cellHeight == 256 && std::strncmp(row.path, "res/Talk/chara/", 15) == 0;
}

bool PictureIsFieldBackdrop(const PictureRow& row) {
    return row.entry >= 4 && row.entry <= 30 && row.entry % 4 != 3;
}

uint32_t PictureCellColour(const PictureRow& row, int cell) {
    uint32_t fixed = 0;
    if (FixedColour(row.entry, cell, &fixed)) return fixed;
    // Hue steps: 37 degrees between rows, 97 between cells; saturation and value fixed high, so no channel set
    // is near black and a 16-bit screen still tells cells apart.
    const int hue = (row.entry * 37 + cell * 97) % 360;
    // What lies behind the fields and the next-piece column stays dark, so the blocks on it read at a glance;
    // the conversations' backgrounds are dimmed, so the portraits and the window stand out on them.
    if (PictureIsFieldBackdrop(row)) return HsvColour(hue, 0.5, 0.32);
    if (row.entry >= 31 && row.entry <= 36) return HsvColour(hue, 0.45, 0.55);
    return HsvColour(hue, 0.7, 0.9);
}

void PictureSamplePoint(const PictureRow& row, int* x, int* y) {
    if (row.flags & kPictureFieldHoles) {
        // Left of the first field, below the top edge: no hole there.
        *x = 40;
        *y = 440;
        return;
    }
    if (row.flags & kPictureChoiceHoles) {
        // Below the left portrait and the name list.
        *x = 20;
        *y = 440;
        return;
    }
    const int e = row.entry;
    if (e == 38 || e == 39 || e == 40) {
        // Frames are open inside: a point on the left border.
        *x = 1;
        *y = e == 40 ? 12 : row.cellHeight / 2;
        return;
    }
    if (e == 41 || e == 47) {  // round marks: the middle, below the shine
        *x = row.cellWidth / 2;
        *y = row.cellHeight / 2 + 2;
        return;
    }
    if (e == 136) {  // the talk frame is open inside: a point on its left rim
        *x = 4;
        *y = row.height / 2;
        return;
    }
    if (e == 48 || e == 197) {  // the bursts: straight below the middle, clear of the words
        *x = row.cellWidth / 2;
        *y = row.cellHeight * 5 / 6;
        return;
    }
    if (e == 419 || e == 420) {  // the choice banners: right of the word, in the banner's own half
        *x = row.width - 13;
        *y = e == 419 ? 16 : 48;
        return;
    }
    if (PictureIsTalkPortrait(row)) {  // the figure stands low in the cell: below its words
        *x = 120;
        *y = 240;
        return;
    }
    if (e == 407) {  // the chime: its bell, below the words
        *x = 44;
        *y = 62;
        return;
    }
    if (e == 410) {  // the star cursor: its round middle
        *x = row.cellWidth / 2;
        *y = row.cellHeight / 2;
        return;
    }
    if (e == 418) {  // the select badge: right of its word
        *x = 50;
        *y = 12;
        return;
    }
    if (e == 405) {  // the music list: its panel, right of the track names
        *x = 440;
        *y = 300;
        return;
    }
    if (e == 406) {  // the music room's pointer
        *x = 8;
        *y = 14;
        return;
    }
    if (e >= 53 && e <= 73) {  // skill names: right of the words
        *x = row.cellWidth - 10;
        *y = row.cellHeight / 2;
        return;
    }
    if (e == 42) {  // the lamp: right of its word
        *x = 50;
        *y = 10;
        return;
    }
    if (e >= 110 && e <= 123) {  // a preview: the middle of its first plain block in reading order
        const int kind = e - 110;
        int gx = 0, gy = 0;
        PreviewGridOrigin(kind, &gx, &gy);
        for (int i = 0; i < 16; ++i) {
            if (pieceCell(kind, 0, i / 4, i % 4) != kCellBlock) continue;
            *x = gx + (i % 4) * kPreviewBlock + kPreviewBlock / 2;
            *y = gy + (i / 4) * kPreviewBlock + kPreviewBlock / 2;
            return;
        }
    }
    if (e == 375 || e == 376) {  // the menu windows: right of the heading
        *x = 270;
        *y = 20;
        return;
    }
    if (e == 408) {  // the title: bottom left, clear of the menu, its cursor and the heading
        *x = 60;
        *y = 420;
        return;
    }
    if (e == 409) {  // menu items: right of the word
        *x = row.cellWidth - 20;
        *y = row.cellHeight - 10;
        return;
    }
    if (e >= 414 && e <= 416) {  // character portraits: the band below the figure
        *x = row.cellWidth / 2;
        *y = 306;
        return;
    }
    *x = row.cellWidth * 3 / 4;
    *y = row.cellHeight * 3 / 4;
}

void PreviewGridOrigin(int kind, int* x, int* y) {
    // The shape's bounding box in its grid, centred on (20, 30): the preview is drawn 10 pixels right of the
    // next-piece column's left edge, so its middle falls on the column's middle.
    int top = 4, bottom = -1, left = 4, right = -1;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (pieceCell(kind, 0, r, c) == kCellEmpty) continue;
            top = std::min(top, r), bottom = std::max(bottom, r);
            left = std::min(left, c), right = std::max(right, c);
        }
    }
    *x = 20 - (right - left + 1) * kPreviewBlock / 2 - left * kPreviewBlock;
    *y = 30 - (bottom - top + 1) * kPreviewBlock / 2 - top * kPreviewBlock;
}
